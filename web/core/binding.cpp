// The files the binding holds open, each slot's and each slot's incoming one, and the buffers
// that texts and queries cross between the page and the core through.
#include "web/core/binding.h"

#include <algorithm>
#include <new>

namespace {

OpenFile files[SLOT_COUNT];
OpenFile incoming[SLOT_COUNT]; // read for the slot, and checked; not yet in it

struct Buffer {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
};
Buffer output;
Buffer query;

char* Room(Buffer& buffer, size_t bytes) {
    if (bytes > buffer.size) {
        buffer.bytes.reset(new (std::nothrow) char[bytes]);
        buffer.size = buffer.bytes ? bytes : 0;
    }
    return buffer.bytes.get();
}

} // namespace

bool IsSlot(int slot) {
    return slot >= 0 && slot < SLOT_COUNT;
}

OpenFile* AcceptedFile(int slot) {
    return IsSlot(slot) && files[slot].accepted ? &files[slot] : nullptr;
}

OpenFile* IncomingFile(int slot) {
    return IsSlot(slot) ? &incoming[slot] : nullptr;
}

OpenFile* IncomingCompared() {
    return incoming[SLOT_COMPARED].accepted ? &incoming[SLOT_COMPARED] : nullptr;
}

void SwapCompared() {
    std::swap(files[SLOT_COMPARED], incoming[SLOT_COMPARED]);
}

char* OutputRoom(size_t bytes) {
    return Room(output, std::max<size_t>(bytes, 1));
}

uint32_t OutputText(const std::string& text) {
    char* at = OutputRoom(text.size());
    if (!at)
        return 0;
    std::copy(text.begin(), text.end(), at);
    return uint32_t(text.size());
}

QEF_EXPORT char* qef_output() {
    return output.bytes.get();
}

std::string_view QueryText(uint32_t length) {
    return query.bytes && length <= query.size ? std::string_view(query.bytes.get(), length)
                                               : std::string_view();
}

// Room for a query of `bytes` bytes, which the page writes before qef_find or qef_search.
QEF_EXPORT char* qef_query_room(uint32_t bytes) {
    return Room(query, std::max<size_t>(bytes, 1));
}

// Makes room for the slot's incoming file, of `length` bytes, in place of any incoming file before
// it; the slot itself keeps its file. nullptr for a bad slot, a file over the limit (whose bytes
// the check never needs) or no memory.
QEF_EXPORT unsigned char* qef_reserve(int slot, double length) {
    if (!IsSlot(slot))
        return nullptr;
    // Stamped here, so that whatever this file replaces once it is swapped into the slot, a
    // comparison made before sees that its file has gone.
    static uint32_t opens = 0;
    incoming[slot] = OpenFile();
    incoming[slot].opened = ++opens;
    if (!(length >= 0 && length <= MaxModuleInfoLength))
        return nullptr;
    incoming[slot].bytes.reset(new (std::nothrow) unsigned char[size_t(length) + 1]);
    incoming[slot].length = uint32_t(length);
    return incoming[slot].bytes.get();
}

// Forgets the slot's incoming file: one that could not be read, or whose reading was cancelled.
QEF_EXPORT void qef_drop(int slot) {
    if (IsSlot(slot))
        incoming[slot] = OpenFile();
}

// Puts the accepted incoming file in the shown slot; the compared file goes, and the comparison
// with it, which sees the shown file's stamp change. False when there is none.
QEF_EXPORT int qef_take() {
    if (!incoming[SLOT_SHOWN].accepted)
        return 0;
    files[SLOT_COMPARED] = OpenFile();
    incoming[SLOT_COMPARED] = OpenFile();
    files[SLOT_SHOWN] = std::move(incoming[SLOT_SHOWN]);
    incoming[SLOT_SHOWN] = OpenFile();
    return 1;
}
