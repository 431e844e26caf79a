#include "tests/support/checks.h"

#include "dump/record_index.h"
#include "tests/support/dump_model.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const char Before[] = "the text before the run";

// Collects what a walk hands on, and its progress as the viewer's status would show it; notes
// any chunk that breaks the rules; gives up at call `refuseAt`.
struct JoiningSink : DumpLineSink, DumpProgress {
    JoiningSink(size_t capacity, size_t refuseAt) : capacity(capacity), refuseAt(refuseAt) {}
    bool WriteLines(const char* lines, size_t bytes) override {
        broken |= bytes == 0 || bytes > capacity || bytes % DumpLineLength != 0 ||
                  (refuseAt != 0 && calls >= refuseAt);
        text.append(lines, bytes);
        return ++calls != refuseAt;
    }
    void Reached(uint32_t offset, uint32_t end) override {
        progress.push_back(ProgressText(offset, end));
    }
    size_t capacity, refuseAt, calls = 0;
    bool broken = false;
    std::string text;
    std::vector<std::string> progress;
};

} // namespace

std::string CheckFormat(const unsigned char* bytes, uint32_t length, Numeration mode,
                        TargetFaults faults) {
    // A block of exactly the input's size: the sanitizers catch any read past its end.
    std::vector<unsigned char> input(bytes, bytes + length);
    const unsigned char* data = input.data();
    RecordingTarget target(Before);
    target.faults = faults;
    bool shown = FormatModuleInfo(target, data, length, mode);

    bool reserved = length <= MaxModuleInfoLength && length >= 29 &&
                    (std::memcmp(data + 8, "Module info file v2.0", 21) == 0 ||
                     std::memcmp(data + 8, "Module info file v1.1", 21) == 0);
    bool dumped = reserved && !faults.allocation;
    ModelDump model = reserved ? DumpByModel(data, length, mode) : ModelDump{};
    std::string expected;
    if (length > MaxModuleInfoLength)
        expected = "[message Don't parse file greather than 32 MB.]";
    else if (!reserved)
        expected = "[message No QEF format.]";
    else // room for every line and the NUL
        expected = "[allocate " + std::to_string(model.lines * DumpLineLength + 1) + "]";
    if (reserved && !dumped)
        expected += "[message Memory allocation error.]";
    for (size_t k = 0; dumped && k < model.progress.size(); ++k)
        expected += "[progress " + model.progress[k] + "]";
    if (dumped) // the text offered once, and only if whole; the output released once
        expected += std::string(!model.complete  ? "[message QEF format error.]"
                                : faults.setText ? "[text refused]"
                                                 : "[text]") +
                    "[release]" + (faults.release ? "[message Memory free error.]" : "");

    Problems problems;
    problems.Expect(target.events == expected, "calls, progress and messages: " + target.events);
    bool whole = dumped && model.complete && !faults.setText;
    problems.Expect(shown == whole, "the result");
    problems.Expect(target.text == (whole ? model.text : Before),
                    "the text is the model's, or left alone");
    return problems.found;
}

std::string CheckWalk(const unsigned char* bytes, uint32_t length, Numeration mode, size_t capacity,
                      size_t refuseAt) {
    std::vector<unsigned char> input(bytes, bytes + length);
    const unsigned char* data = input.data();
    Problems problems;
    ModelDump model = DumpByModel(data, length, mode);
    RecordWalk plan = PlanDump(data, length);
    problems.Expect((plan.end == RECORDS_COMPLETE) == model.complete &&
                        plan.next.line == model.lines && plan.next.record == model.records,
                    "the header pass counts the model's records and lines");
    problems.Expect(model.complete ||
                        (plan.next.offset == model.brokenOffset &&
                         plan.brokenSize == model.brokenSize && plan.bytesLeft == model.bytesLeft),
                    "the header pass finds where the chain breaks");

    const DumpWalkResult whole = model.complete ? DUMP_WALK_COMPLETE : DUMP_WALK_FORMAT_ERROR;
    const size_t perBuffer = capacity / DumpLineLength;
    const bool fits = perBuffer > 0 || model.lines == 0;
    std::vector<char> buffer(capacity + 64, '#');
    for (DataColumnWriter writer :
         {BestDataColumnWriter(), FindDataColumnWriter(LINE_KERNEL_PLAIN)}) {
        JoiningSink sink(capacity, 0);
        DumpWalkResult walked = WriteDumpLinesWith(writer, WholeDump(data, length), mode,
                                                   buffer.data(), capacity, &sink, &sink);
        problems.Expect(walked == (fits ? whole : DUMP_WALK_STOPPED), "the walk's result");
        // A buffer below one line stops the walk right after the first report.
        problems.Expect(perBuffer == 0 ? sink.progress.size() <= 1 && sink.text.empty()
                                       : sink.progress == model.progress &&
                                             sink.text == model.text && !sink.broken,
                        "the walk gives the model's lines and progress");
    }

    JoiningSink sink(capacity, refuseAt);
    DumpWalkResult stopped =
        WriteDumpLines(WholeDump(data, length), mode, buffer.data(), capacity, &sink, nullptr);
    size_t shown = refuseAt == 0
                       ? model.text.size()
                       : std::min(model.text.size(), refuseAt * perBuffer * DumpLineLength);
    bool refused =
        refuseAt != 0 && sink.calls == refuseAt && (model.complete || shown < model.text.size());
    problems.Expect(stopped == (refused || !fits ? DUMP_WALK_STOPPED : whole),
                    "a sink that gives up stops the walk");
    problems.Expect(!sink.broken && sink.text == model.text.substr(0, perBuffer ? shown : 0),
                    "a stopped walk gives whole buffers of the model's lines");

    DumpWalkResult bounded =
        WriteDumpLines(WholeDump(data, length), mode, buffer.data(), capacity, nullptr, nullptr);
    size_t kept = std::min(model.text.size(), perBuffer * DumpLineLength);
    problems.Expect(bounded == (model.lines > perBuffer ? DUMP_WALK_STOPPED : whole),
                    "a full buffer stops the walk");
    problems.Expect(model.text.compare(0, kept, buffer.data(), kept) == 0,
                    "a buffer keeps the first lines");
    problems.Expect(
        std::all_of(buffer.begin() + long(capacity), buffer.end(), [](char c) { return c == '#'; }),
        "nothing is written past the buffer");
    return problems.found;
}

std::string CheckRuns(const unsigned char* bytes, uint32_t length, Numeration mode) {
    ModelDump model = DumpByModel(bytes, length, mode);
    RecordIndex index;
    Problems problems;
    if (!index.Build(bytes, length))
        return "no memory for the index";
    problems.Expect(index.Count() == model.records && index.LineCount() == model.lines &&
                        index.Length() == (model.complete ? length : model.brokenOffset),
                    "the index counts the model's records and lines, and ends where they end");
    if (!model.complete)
        return problems.found;
    // Three lines from each chosen one, or what is left; then whole records around them.
    const uint32_t lines = index.LineCount();
    for (uint32_t line : {0u, 1u, lines / 3, lines / 2, lines - 2, lines - 1}) {
        if (line >= lines)
            continue;
        char buffer[3 * DumpLineLength];
        size_t shown = std::min<size_t>(3, lines - line) * DumpLineLength;
        WriteDumpLines(index.RunFromLine(line), mode, buffer, sizeof buffer, nullptr, nullptr);
        problems.Expect(model.text.compare(line * DumpLineLength, shown, buffer, shown) == 0,
                        "the lines from line " + std::to_string(line));
        uint32_t record = index.RecordOfLine(line);
        uint32_t end = std::min(record + 2, index.Count());
        RecordPosition from = index.Position(record), to = index.Position(end);
        std::vector<char> run((to.line - from.line) * DumpLineLength + 1);
        bool whole = WriteDumpLines(index.RunOfRecords(record, end), mode, run.data(), run.size(),
                                    nullptr, nullptr) == DUMP_WALK_COMPLETE;
        problems.Expect(whole && from.line <= line && line < index.Position(record + 1).line &&
                            model.text.compare(from.line * DumpLineLength, run.size() - 1,
                                               run.data(), run.size() - 1) == 0,
                        "the records from line " + std::to_string(line));
        uint32_t offset = index.Offset(record) + index.Bytes(record) / 2;
        problems.Expect(index.RecordAtOffset(offset) == record, "the record at an offset");
    }
    return problems.found;
}
