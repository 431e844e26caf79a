// Files worked on by several threads at once and handed back in their order, so that what is
// written is byte for byte what one thread writes, and only a few files are held at a time.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

// `work(k)` runs for k = 0 .. count - 1 on `threads` threads (none when 1: the caller runs it),
// at most `window` files ahead of `take(k, result)`, which runs on the calling thread in the
// order of k. When `take` returns false no further work starts and the rest are not taken.
template <typename Result, typename Work, typename Take>
void ForEachInOrder(size_t count, unsigned threads, size_t window, Work&& work, Take&& take) {
    auto inOrder = [&] {
        for (size_t k = 0; k < count; ++k)
            if (Result result = work(k); !take(k, result))
                return;
    };
    if (threads <= 1 || count <= 1)
        return inOrder();
    std::mutex lock;
    std::condition_variable room, ready;              // a slot came free; the file awaited is done
    std::vector<std::optional<Result>> slots(window); // file k waits in slot k % window
    size_t started = 0, taken = 0;
    bool stopped = false;
    auto worker = [&] {
        std::unique_lock held(lock);
        for (;;) {
            room.wait(held,
                      [&] { return stopped || started == count || started < taken + window; });
            if (stopped || started == count)
                return;
            size_t k = started++;
            held.unlock();
            Result result = work(k);
            held.lock();
            slots[k % window].emplace(std::move(result));
            if (k == taken) // only the file taken next is waited for
                ready.notify_one();
        }
    };
    std::vector<std::thread> pool;
    try {
        for (unsigned t = 0; t < threads; ++t)
            pool.emplace_back(worker);
    } catch (const std::system_error&) { // the system gives no more threads: those there do
    }
    if (pool.empty())
        return inOrder();
    for (bool going = true; going && taken < count;) {
        std::unique_lock held(lock);
        ready.wait(held, [&] { return slots[taken % window].has_value(); });
        Result result = std::move(*slots[taken % window]);
        slots[taken % window].reset();
        held.unlock();
        going = take(taken, result);
        held.lock();
        ++taken;
        stopped = !going;
        room.notify_one();
    }
    {
        std::lock_guard held(lock);
        stopped = true; // whoever still waits for room ends
    }
    room.notify_all();
    for (std::thread& thread : pool)
        thread.join();
}
