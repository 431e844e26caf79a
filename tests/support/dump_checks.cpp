#include "tests/support/dump_checks.h"

#include "dump/line_kernel.h"
#include "tests/support/dump_model.h"
#include "tests/support/recording_target.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

const char Before[] = "the text before the run";

const std::map<std::string, MessageIcon> Icons = {
    {"Don't parse file greather than 32 MB.", MESSAGE_ICON_INFORMATION},
    {"No QEF format.", MESSAGE_ICON_ERROR},
    {"Memory allocation error.", MESSAGE_ICON_NONE},
    {"QEF format error.", MESSAGE_ICON_ERROR},
    {"Memory free error.", MESSAGE_ICON_NONE},
};

class Problems {
  public:
    void Expect(bool ok, const std::string& what) {
        if (!ok)
            found_ += what + "; ";
    }
    std::string Found() const { return found_; }

  private:
    std::string found_;
};

// Collects what a walk hands on; gives up at call `refuseAt`.
class JoiningSink : public DumpLineSink {
  public:
    JoiningSink(Problems& problems, size_t capacity, size_t refuseAt)
        : problems_(problems), capacity_(capacity), refuseAt_(refuseAt) {}
    bool WriteLines(const char* lines, size_t bytes) override {
        problems_.Expect(bytes > 0 && bytes <= capacity_ && bytes % DumpLineLength == 0,
                         "a chunk of whole lines within the buffer");
        problems_.Expect(!refused_, "no chunk after the sink gave up");
        text.append(lines, bytes);
        refused_ = ++calls == refuseAt_;
        return !refused_;
    }
    std::string text;
    size_t calls = 0;

  private:
    Problems& problems_;
    size_t capacity_, refuseAt_;
    bool refused_ = false;
};

// The bytes in a block of exactly their size, so that the sanitizers catch any read past the
// end (the loader's NUL after the data is not part of it and is never read).
using Exact = std::vector<unsigned char>;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0 && text.size() >= prefix.size();
}

} // namespace

std::string CheckFormat(const unsigned char* bytes, uint32_t length, Numeration mode,
                        TargetFaults faults) {
    Exact input(bytes, bytes + length);
    const unsigned char* data = input.data();
    NumerationMode = mode;
    RecordingTarget target(Before);
    target.failAllocation = faults.allocation;
    target.failRelease = faults.release;
    target.failSetText = faults.setText;
    bool shown = FormatModuleInfo(target, data, length);
    Problems problems;
    std::vector<std::string> expected;
    bool reserved = length <= MaxModuleInfoLength && ModelSignature(data, length);
    ModelDump model{};
    if (length > MaxModuleInfoLength) {
        expected = {"message Don't parse file greather than 32 MB."};
    } else if (!reserved) {
        expected = {"message No QEF format."};
    } else if (faults.allocation) {
        expected = {"message Memory allocation error."};
    } else {
        model = DumpByModel(data, length, mode);
        for (const std::string& text : model.progress)
            expected.push_back("progress " + text);
        if (!model.complete)
            expected.push_back("message QEF format error.");
        else if (!faults.setText)
            expected.push_back("text");
        problems.Expect(target.allocatedBytes == model.lines * DumpLineLength + 1,
                        "room for every line and the NUL");
        problems.Expect(target.releases == 1, "the output released once");
    }
    if (faults.release && reserved && !faults.allocation)
        expected.push_back("message Memory free error.");
    std::string events;
    for (const std::string& event : target.events)
        events += "[" + event + "]";
    problems.Expect(target.events == expected, "progress, text and messages in order: " + events);
    for (const RecordedMessage& message : target.messages)
        problems.Expect(message.caption == "Error" && message.icon == Icons.at(message.text),
                        "caption and icon of " + message.text);
    bool complete = reserved && !faults.allocation && model.complete;
    problems.Expect(shown == (complete && !faults.setText), "the result");
    problems.Expect(target.setTextCalls == (complete ? 1 : 0), "the text offered once if whole");
    problems.Expect(reserved && !faults.allocation ? true : target.releases == 0,
                    "nothing released when nothing was reserved");
    if (shown)
        problems.Expect(target.terminated && target.text == model.text,
                        "the text is the model's, with its NUL");
    else
        problems.Expect(target.text == Before, "a failed run leaves the text alone");
    return problems.Found();
}

std::string CheckWalk(const unsigned char* bytes, uint32_t length, Numeration mode, size_t capacity,
                      size_t refuseAt) {
    Exact input(bytes, bytes + length);
    const unsigned char* data = input.data();
    Problems problems;
    ModelDump model = DumpByModel(data, length, mode);
    DumpPlan plan = PlanDump(data, length);
    problems.Expect(plan.complete == model.complete && plan.lineCount == model.lines &&
                        plan.recordCount == model.records,
                    "the header pass counts the model's records and lines");
    problems.Expect(model.complete ||
                        (plan.brokenOffset == model.brokenOffset &&
                         plan.brokenSize == model.brokenSize && plan.bytesLeft == model.bytesLeft),
                    "the header pass finds where the chain breaks");
    DumpWalkResult result = model.complete ? DUMP_WALK_COMPLETE : DUMP_WALK_FORMAT_ERROR;
    std::vector<char> buffer(capacity + 64, '#');
    // The one the processor runs best, and the portable one.
    std::vector<DataColumnWriter> writers = {BestDataColumnWriter(),
                                             FindDataColumnWriter(LINE_KERNEL_PLAIN)};
    for (DataColumnWriter writer : writers) {
        JoiningSink sink(problems, capacity, 0);
        RecordingTarget progress;
        bool ok = WriteDumpLinesWith(writer, data, length, mode, buffer.data(), capacity, &sink,
                                     &progress) ==
                  (capacity < DumpLineLength && model.lines ? DUMP_WALK_STOPPED : result);
        problems.Expect(ok, "the walk's result");
        problems.Expect(capacity < DumpLineLength || sink.text == model.text,
                        "the walk gives the model's lines");
        // A buffer below one line stops the walk right after the first report.
        problems.Expect(capacity < DumpLineLength ? progress.progress.size() <= 1
                                                  : progress.progress == model.progress,
                        "the walk's progress");
    }
    // What a sink that gives up at `refuseAt`, or a buffer without a sink, keeps.
    size_t linesPerBuffer = capacity / DumpLineLength;
    JoiningSink sink(problems, capacity, refuseAt);
    DumpWalkResult stopped =
        WriteDumpLines(data, length, mode, buffer.data(), capacity, &sink, nullptr);
    size_t most = linesPerBuffer == 0 ? 0
                  : refuseAt == 0     ? model.text.size()
                                      : refuseAt * linesPerBuffer * DumpLineLength;
    size_t shown = std::min(model.text.size(), most);
    bool cut = sink.calls == refuseAt && (model.complete || sink.text.size() < model.text.size());
    problems.Expect(stopped ==
                        (cut || (linesPerBuffer == 0 && model.lines) ? DUMP_WALK_STOPPED : result),
                    "a sink that gives up stops the walk");
    problems.Expect(sink.text == model.text.substr(0, shown),
                    "a stopped walk gives whole buffers of the model's lines");
    DumpWalkResult bounded =
        WriteDumpLines(data, length, mode, buffer.data(), capacity, nullptr, nullptr);
    size_t kept = std::min(model.text.size(), linesPerBuffer * DumpLineLength);
    problems.Expect(bounded == (model.lines > linesPerBuffer ? DUMP_WALK_STOPPED : result),
                    "a full buffer stops the walk");
    problems.Expect(StartsWith(std::string(buffer.data(), capacity), model.text.substr(0, kept)),
                    "a buffer keeps the first lines");
    problems.Expect(
        std::all_of(buffer.begin() + long(capacity), buffer.end(), [](char c) { return c == '#'; }),
        "nothing is written past the buffer");
    return problems.Found();
}
