// The line writer behind every dump, and the pass over the record headers that sizes it.
#include "dump/formatter.h"

#include "dump/line_fields.h"
#include "dump/line_kernel.h"
#include "dump/module_info.h"
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

bool RecordFits(uint32_t left, uint32_t size) {
    return left >= RecordHeaderSize && size <= left - RecordHeaderSize;
}

uint32_t LinesOfRecord(uint32_t size) {
    return size <= BytesPerLine ? 1 : size / BytesPerLine + (size % BytesPerLine != 0);
}

// Each header's place depends on the size before it, a chain of loads one after another that
// bounds the header pass over many small records. Runs of empty records break the chain: their
// size fields are read side by side, and when all are zero they are that many one-line records.
constexpr uint32_t EmptyRun = 4;
constexpr uint32_t EmptyRunBytes = EmptyRun * RecordHeaderSize;

bool StartsEmptyRun(const unsigned char* record) {
    uint32_t sizes = 0;
    for (const unsigned char* header = record; header != record + EmptyRunBytes;
         header += RecordHeaderSize)
        sizes |= ReadRecordHeader(header).size;
    return sizes == 0;
}

} // namespace

DumpPlan PlanDump(const unsigned char* data, uint32_t length) {
    DumpPlan plan{};
    uint32_t offset = 0;
    while (offset < length) {
        if (length - offset >= EmptyRunBytes && StartsEmptyRun(data + offset)) {
            plan.recordCount += EmptyRun;
            plan.lineCount += EmptyRun;
            offset += EmptyRunBytes;
            continue;
        }
        uint32_t left = length - offset;
        uint32_t size = left >= RecordHeaderSize ? ReadRecordHeader(data + offset).size : 0;
        if (!RecordFits(left, size)) {
            plan.brokenOffset = offset;
            plan.brokenSize = size;
            plan.bytesLeft = left;
            return plan;
        }
        plan.recordCount += 1;
        plan.lineCount += LinesOfRecord(size);
        offset += RecordHeaderSize + size;
    }
    plan.complete = true;
    return plan;
}

namespace {

struct Walk {
    DataColumnWriter writer;
    Numeration mode;
    LineOutput& out;
    DumpTarget* progress;
    const unsigned char* data;
    uint32_t length;
    uint32_t lines; // lines so far, for the single numbering
};

// Lines 1 and on of a record whose first line is at `first`; false when the output stopped.
bool WriteContinuationLines(Walk& walk, const char* first, uint32_t offset, uint32_t size) {
    // The number and the tag name carry over from the first line, the rest starts afresh.
    char start[LinePrefixLength];
    std::memcpy(start, first, ContinuationStart);
    std::memcpy(start + ContinuationStart, ContinuationLineTemplate + ContinuationStart,
                LinePrefixLength - ContinuationStart);
    CountedPrefix prefix(start, walk.mode == NUMERATION_MULTI);
    const uint32_t dataOffset = offset + RecordHeaderSize;
    const unsigned char* bytes = walk.data + dataOffset;
    const uint32_t total = LinesOfRecord(size);
    const uint32_t partial = size % BytesPerLine;
    for (uint32_t subLine = 1; subLine < total;) {
        if (walk.progress && subLine % ProgressInterval == 0)
            // Measured from the record's header, as the first line's report is.
            ReportProgress(*walk.progress, walk.data + offset + size_t(subLine) * BytesPerLine,
                           walk.data, walk.length);
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
        const unsigned char* runBytes = bytes + size_t(subLine) * BytesPerLine;
        uint32_t full = subLine + count == total && partial != 0 ? count - 1 : count;
        walk.writer(run, runBytes, full);
        if (full < count)
            WriteLineData(run + size_t(full) * DumpLineLength,
                          runBytes + size_t(full) * BytesPerLine, partial);
        // Single counts lines, Offset counts bytes, Multi counts sub-lines.
        uint32_t value = walk.mode == NUMERATION_SINGLE   ? walk.lines + 1
                         : walk.mode == NUMERATION_OFFSET ? dataOffset + subLine * BytesPerLine
                                                          : subLine;
        uint32_t step = walk.mode == NUMERATION_OFFSET ? BytesPerLine : 1;
        for (uint32_t i = 0; i < count; ++i, value += step)
            prefix.Write(run + size_t(i) * DumpLineLength, value);
        if (walk.mode == NUMERATION_SINGLE)
            walk.lines += count;
        walk.out.Commit(count);
        subLine += count;
    }
    return true;
}

} // namespace

DumpWalkResult WriteDumpLinesWith(DataColumnWriter writer, const unsigned char* data,
                                  uint32_t length, Numeration mode, char* buffer, size_t capacity,
                                  DumpLineSink* sink, DumpTarget* progress) {
    LineOutput out(buffer, capacity, sink);
    const TagNames& names = TagNamesOnce();
    Walk walk{writer, mode, out, progress, data, length, 0};
    CountedPrefix head(HeaderLineTemplate, false);
    uint32_t records = 0;
    uint32_t offset = 0;
    while (offset < length) {
        if (progress && records % ProgressInterval == 0)
            ReportProgress(*progress, data + offset, data, length);
        uint32_t left = length - offset;
        RecordHeader header =
            left >= RecordHeaderSize ? ReadRecordHeader(data + offset) : RecordHeader{0, 0};
        if (!RecordFits(left, header.size)) {
            out.Flush();
            return DUMP_WALK_FORMAT_ERROR;
        }
        records += 1;
        walk.lines += 1;
        if (out.MakeRoom() == 0)
            return DUMP_WALK_STOPPED;
        // The first line goes straight into the output: the template, then its fields.
        char* line = out.Next();
        uint32_t dataOffset = offset + RecordHeaderSize;
        const unsigned char* bytes = data + dataOffset;
        head.Write(line, mode == NUMERATION_SINGLE   ? walk.lines
                         : mode == NUMERATION_OFFSET ? dataOffset
                                                     : records);
        std::memcpy(line + TagNameColumn, names.Find(header.tag), TagNameLength);
        if (header.size != 0)
            WriteSizeColumn(line, header.size, HeaderSizeWord);
        if (header.size >= BytesPerLine)
            writer(line, bytes, 1);
        else
            WriteLineData(line, bytes, header.size);
        out.Commit(1);
        if (header.size > BytesPerLine && !WriteContinuationLines(walk, line, offset, header.size))
            return DUMP_WALK_STOPPED;
        offset = dataOffset + header.size;
    }
    return sink && !out.Flush() ? DUMP_WALK_STOPPED : DUMP_WALK_COMPLETE;
}

DumpWalkResult WriteDumpLines(const unsigned char* data, uint32_t length, Numeration mode,
                              char* buffer, size_t capacity, DumpLineSink* sink,
                              DumpTarget* progress) {
    return WriteDumpLinesWith(BestDataColumnWriter(), data, length, mode, buffer, capacity, sink,
                              progress);
}
