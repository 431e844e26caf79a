#include "dump/line_writer.h"

#include "dump/line_fields.h"
#include "dump/tag_names.h"

#include <cstring>

namespace {

constexpr uint32_t ProgressInterval = 10000;

// The continuation template keeps a prefix of the previous line (number and tag name) and
// replaces everything after it, so applying it is one copy of the tail.
constexpr size_t CarriedColumns() {
    size_t end = 0;
    for (size_t column = 0; column < DumpLineLength; ++column)
        if (ContinuationLineTemplate[column] == 'T')
            end = column + 1;
    return end;
}
constexpr size_t ContinuationStart = CarriedColumns();
static_assert(ContinuationStart == TagNameColumn + TagNameLength);
// The only non-carried characters inside the prefix are the ": " after the number, which no
// line ever overwrites; keeping them is the same as taking them from the template.
static_assert(ContinuationLineTemplate[8] == HeaderLineTemplate[8] &&
              ContinuationLineTemplate[9] == HeaderLineTemplate[9]);

// Whole lines in the caller's buffer, handed on when the next line would not fit.
class LineOutput {
  public:
    LineOutput(char* buffer, size_t capacity, DumpLineSink* sink)
        : buffer_(buffer), sink_(sink), linesPerBuffer_(capacity / DumpLineLength),
          room_(linesPerBuffer_) {}

    // How many lines fit now, after handing a full buffer on; 0 stops the walk.
    size_t MakeRoom() {
        if (room_ == 0 && Flush())
            room_ = linesPerBuffer_;
        return room_;
    }

    char* Next() const { return next_; }
    void Commit(size_t lines) {
        next_ += lines * DumpLineLength;
        room_ -= lines;
    }

    // Without a sink the lines stay in the buffer for the caller.
    bool Flush() {
        if (!sink_ || next_ == buffer_)
            return sink_ != nullptr;
        bool written = sink_->WriteLines(buffer_, size_t(next_ - buffer_));
        next_ = buffer_;
        return written;
    }

  private:
    char* buffer_;
    DumpLineSink* sink_;
    size_t linesPerBuffer_;
    size_t room_;
    char* next_ = buffer_;
};

// Continuation lines are written in runs that stay in the first-level cache while the data
// columns and then the number columns go in.
constexpr uint32_t RunLines = 64;

// In this order the compiler keeps the walk over empty records at its fewest instructions
// (callgrind); other orders cost one more a record.
struct Walk {
    DataColumnWriter writer;
    Numeration mode;
    uint32_t end;
    LineOutput& out;
    DumpProgress* progress;
};

// The start of a record's continuation lines: the number and the tag name carry over from its
// first line, the rest starts afresh.
void ContinuationStartOf(const Record& record, const TagNames& names, char* start) {
    std::memcpy(start, HeaderLineTemplate, ContinuationStart);
    WriteNumberColumn(start, record.Number());
    std::memcpy(start + TagNameColumn, names.Find(record.tag), TagNameLength);
    std::memcpy(start + ContinuationStart, ContinuationLineTemplate + ContinuationStart,
                LinePrefixLength - ContinuationStart);
}

// Lines `subLine` (at least 1) and on of a record; false when the output stopped.
bool WriteContinuationLines(Walk& walk, const Record& record, uint32_t subLine,
                            const TagNames& names) {
    char start[LinePrefixLength];
    ContinuationStartOf(record, names, start);
    CountedPrefix prefix(start, walk.mode == NUMERATION_MULTI);
    const uint32_t offset = record.at.offset;
    const uint32_t dataOffset = offset + RecordHeaderSize;
    const uint32_t total = record.Lines();
    const uint32_t partial = record.size % BytesPerLine;
    while (subLine < total) {
        if (walk.progress && subLine % ProgressInterval == 0)
            // Measured from the record's header, as the first line's report is.
            walk.progress->Reached(offset + subLine * BytesPerLine, walk.end);
        size_t room = walk.out.MakeRoom();
        if (room == 0)
            return false;
        // A run ends before the next progress report and before the buffer is full.
        uint32_t count = total - subLine;
        count = count < RunLines ? count : RunLines;
        count = count < room ? count : uint32_t(room);
        uint32_t toReport = ProgressInterval - subLine % ProgressInterval;
        count = count < toReport ? count : toReport;
        char* run = walk.out.Next();
        const unsigned char* runBytes = record.data + size_t(subLine) * BytesPerLine;
        uint32_t full = subLine + count == total && partial != 0 ? count - 1 : count;
        walk.writer(run, runBytes, full);
        if (full < count)
            WriteLineData(run + size_t(full) * DumpLineLength,
                          runBytes + size_t(full) * BytesPerLine, partial);
        // Single counts lines, Offset counts bytes, Multi counts sub-lines.
        uint32_t value = walk.mode == NUMERATION_SINGLE   ? record.at.line + subLine + 1
                         : walk.mode == NUMERATION_OFFSET ? dataOffset + subLine * BytesPerLine
                                                          : subLine;
        uint32_t step = walk.mode == NUMERATION_OFFSET ? BytesPerLine : 1;
        for (uint32_t i = 0; i < count; ++i, value += step)
            prefix.Write(run + size_t(i) * DumpLineLength, value);
        walk.out.Commit(count);
        subLine += count;
    }
    return true;
}

// The first line goes straight into the output: the template, then its fields.
void WriteFirstLine(const Walk& walk, const Record& record, CountedPrefix& head,
                    const TagNames& names) {
    char* line = walk.out.Next();
    head.Write(line, NumberOfFirstLine(record, walk.mode));
    std::memcpy(line + TagNameColumn, names.Find(record.tag), TagNameLength);
    if (record.size != 0)
        WriteSizeColumn(line, record.size, HeaderSizeWord);
    if (record.size >= BytesPerLine)
        walk.writer(line, record.data, 1);
    else
        WriteLineData(line, record.data, record.size);
    walk.out.Commit(1);
}

} // namespace

DumpWalkResult WriteDumpLinesWith(DataColumnWriter writer, const DumpRun& run, Numeration mode,
                                  char* buffer, size_t capacity, DumpLineSink* sink,
                                  DumpProgress* progress) {
    LineOutput out(buffer, capacity, sink);
    const TagNames& names = TagNamesOnce();
    Walk walk{writer, mode, run.end, out, progress};
    CountedPrefix head(HeaderLineTemplate, false);
    RecordPosition from = run.from;
    if (run.skip != 0) {
        // A run that starts inside a record: the rest of that record's lines, then the walk.
        // The walk stops at its first record, which it has checked to fit.
        Record first{};
        RecordWalk found = WalkRecords(run.data, run.end, from, [&first](const Record& record) {
            first = record;
            return false;
        });
        if (found.end != RECORDS_STOPPED)
            return DUMP_WALK_FORMAT_ERROR;
        if (!WriteContinuationLines(walk, first, run.skip, names))
            return DUMP_WALK_STOPPED;
        from = first.Next();
    }
    RecordWalk walked = WalkRecords(run.data, run.end, from, [&](const Record& record) {
        if (progress && record.at.record % ProgressInterval == 0)
            progress->Reached(record.at.offset, run.end);
        if (out.MakeRoom() == 0)
            return false;
        WriteFirstLine(walk, record, head, names);
        if (record.size <= BytesPerLine)
            return true;
        // A copy for the call: were the walk's own record handed on, the compiler would keep it
        // in memory for every record, a tenth more work for the dump of empty records.
        Record whole = record;
        return WriteContinuationLines(walk, whole, 1, names);
    });
    if (walked.end == RECORDS_STOPPED)
        return DUMP_WALK_STOPPED;
    if (walked.end == RECORDS_BROKEN) {
        // The record that does not fit gets its report too, as every record's start does.
        if (progress && walked.next.record % ProgressInterval == 0)
            progress->Reached(walked.next.offset, run.end);
        out.Flush();
        return DUMP_WALK_FORMAT_ERROR;
    }
    return sink && !out.Flush() ? DUMP_WALK_STOPPED : DUMP_WALK_COMPLETE;
}

DumpWalkResult WriteDumpLines(const DumpRun& run, Numeration mode, char* buffer, size_t capacity,
                              DumpLineSink* sink, DumpProgress* progress) {
    return WriteDumpLinesWith(BestDataColumnWriter(), run, mode, buffer, capacity, sink, progress);
}
