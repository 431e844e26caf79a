// The streaming walk (WriteDumpLines through a small buffer and a sink) against the one-buffer
// path of FormatModuleInfo, byte for byte, in each numeration mode. On a broken chain both must
// call it broken, and the streamed lines must be what the formatter gives for the records
// before the break. Buffer sizes and the call at which a sink gives up come from the input.
// The portable data-column writer is held against the one the processor picked.
#include "fuzz/fuzz_support.h"

#include "dump/formatter.h"
#include "dump/line_kernel.h"
#include "dump/module_info.h"
#include "tests/support/recording_target.h"

#include <string>
#include <vector>

namespace {

constexpr size_t Never = SIZE_MAX;

class CollectingSink final : public DumpLineSink {
  public:
    CollectingSink(const std::vector<char>& buffer, size_t refuseAtCall)
        : buffer_(buffer), refuseAtCall_(refuseAtCall) {}

    bool WriteLines(const char* lines, size_t bytes) override {
        Require(!refused_, "no chunk after the sink refused");
        Require(lines == buffer_.data(), "chunks start at the front of the buffer");
        Require(bytes != 0 && bytes % DumpLineLength == 0 && bytes <= buffer_.size(),
                "chunks are whole lines within the buffer");
        Require(!lastWasShort_, "only the last chunk leaves room for another line");
        lastWasShort_ = buffer_.size() - bytes >= DumpLineLength;
        text.append(lines, bytes);
        calls += 1;
        refused_ = calls == refuseAtCall_;
        return !refused_;
    }

    std::string text;
    size_t calls = 0;

  private:
    const std::vector<char>& buffer_;
    size_t refuseAtCall_;
    bool refused_ = false;
    bool lastWasShort_ = false;
};

struct StreamRun {
    DumpWalkResult result;
    std::string text;
    size_t calls;
    std::vector<std::string> progress;
};

StreamRun Stream(const LoadedInput& input, Numeration mode, size_t capacity, bool withProgress,
                 size_t refuseAtCall = Never, DataColumnWriter writer = nullptr) {
    std::vector<char> buffer(capacity);
    CollectingSink sink(buffer, refuseAtCall);
    RecordingTarget progress;
    DumpTarget* progressTarget = withProgress ? &progress : nullptr;
    DumpWalkResult result =
        writer ? WriteDumpLinesWith(writer, input.Data(), input.Length(), mode, buffer.data(),
                                    buffer.size(), &sink, progressTarget)
               : WriteDumpLines(input.Data(), input.Length(), mode, buffer.data(), buffer.size(),
                                &sink, progressTarget);
    return {result, sink.text, sink.calls, progress.progress};
}

// Without a sink the lines stay in the buffer; what fits of them is returned.
DumpWalkResult WalkIntoBuffer(const LoadedInput& input, Numeration mode, size_t capacity,
                              std::string& text) {
    std::vector<char> buffer(capacity);
    DumpWalkResult result = WriteDumpLines(input.Data(), input.Length(), mode, buffer.data(),
                                           buffer.size(), nullptr, nullptr);
    text.assign(buffer.data(), buffer.size());
    return result;
}

// The lines of the records before the break, from the formatter itself whenever the data up to
// there is a module-info file, else from one exactly sized buffer.
std::string ExpectedLines(const LoadedInput& input, Numeration mode, const DumpPlan& plan) {
    LoadedInput good(input.Data(), plan.complete ? input.Length() : plan.brokenOffset);
    size_t bytes = size_t(plan.lineCount * DumpLineLength);
    if (IsModuleInfoFile(good.Data(), good.Length())) {
        NumerationMode = mode;
        RecordingTarget target;
        Require(FormatModuleInfo(target, good.Data(), good.Length()),
                "the records before the break format");
        Require(target.text.size() == bytes, "formatter gives PlanDump's line count");
        return target.text;
    }
    std::string text;
    Require(WalkIntoBuffer(good, mode, bytes, text) == DUMP_WALK_COMPLETE,
            "the records before the break walk to the end");
    return text;
}

void CheckMode(const LoadedInput& input, Numeration mode, uint32_t choice) {
    DumpPlan plan = PlanDump(input.Data(), input.Length());
    DumpWalkResult expectedResult = plan.complete ? DUMP_WALK_COMPLETE : DUMP_WALK_FORMAT_ERROR;
    std::string expected = ExpectedLines(input, mode, plan);

    bool signature = IsModuleInfoFile(input.Data(), input.Length());
    std::vector<std::string> formatterProgress;
    if (signature) {
        NumerationMode = mode;
        RecordingTarget whole;
        bool shown = FormatModuleInfo(whole, input.Data(), input.Length());
        Require(shown == plan.complete, "formatter and walk agree whether the chain is broken");
        Require(!shown || whole.text == expected, "formatter's text is the expected lines");
        formatterProgress = whole.progress;
    }

    // From one line up to more than the whole dump, with a few bytes of slack.
    size_t lines = 1 + choice % (plan.lineCount + 1);
    size_t capacity = lines * DumpLineLength + (choice >> 16) % DumpLineLength;

    StreamRun streamed = Stream(input, mode, capacity, true);
    Require(streamed.result == expectedResult, "stream tells a broken chain like the formatter");
    Require(streamed.text == expected, "streamed lines equal the formatter's");
    Require(!signature || streamed.progress == formatterProgress,
            "stream reports the formatter's progress");

    StreamRun oneLine = Stream(input, mode, DumpLineLength, false);
    Require(oneLine.result == expectedResult && oneLine.text == expected,
            "one-line chunks give the same lines");

    StreamRun plain =
        Stream(input, mode, capacity, false, Never, FindDataColumnWriter(LINE_KERNEL_PLAIN));
    Require(plain.result == expectedResult && plain.text == expected,
            "the portable writer gives the same lines");

    // A sink that gives up at some call, or one past the last: a prefix, and the walk stops.
    size_t refuseAt = 1 + (choice >> 8) % (streamed.calls + 1);
    StreamRun stopped = Stream(input, mode, capacity, false, refuseAt);
    Require(StartsWith(expected, stopped.text), "a stopped stream gives a prefix");
    if (refuseAt > streamed.calls) {
        Require(stopped.result == expectedResult && stopped.text == expected,
                "a sink that never refuses sees everything");
    } else {
        Require(stopped.calls == refuseAt, "the walk stops at the refusal");
        Require(stopped.result == DUMP_WALK_STOPPED ||
                    (stopped.result == DUMP_WALK_FORMAT_ERROR && !plan.complete &&
                     refuseAt == streamed.calls),
                "a refusal stops the walk");
    }

    // Without a sink a buffer too small for the whole dump stops the walk when it is full.
    std::string kept;
    DumpWalkResult bounded = WalkIntoBuffer(input, mode, capacity, kept);
    if (plan.lineCount > lines) {
        Require(bounded == DUMP_WALK_STOPPED, "a full buffer stops the walk");
        Require(kept.compare(0, lines * DumpLineLength, expected, 0, lines * DumpLineLength) == 0,
                "a full buffer holds the first lines");
    } else {
        Require(bounded == expectedResult, "a big enough buffer walks like the stream");
        Require(kept.compare(0, expected.size(), expected) == 0, "and holds every line");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > MaxModuleInfoLength)
        return -1;
    LoadedInput input(bytes, size);
    uint32_t hash = HashInput(bytes, size);
    for (Numeration mode : {NUMERATION_SINGLE, NUMERATION_MULTI, NUMERATION_OFFSET})
        CheckMode(input, mode, hash ^ (uint32_t(mode) * 0x9E3779B9u));
    return 0;
}
