#include "dump/formatter.h"

#include "dump/module_info.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

Numeration NumerationMode = NUMERATION_MULTI;

const DumpMessage DumpFailureMessages[DUMP_FAILURE_COUNT] = {
    {"Don't parse file greather than 32 MB.", "Error", MESSAGE_ICON_INFORMATION},
    {"No QEF format.", "Error", MESSAGE_ICON_ERROR},
    {"Memory allocation error.", "Error", MESSAGE_ICON_NONE},
    {"QEF format error.", "Error", MESSAGE_ICON_ERROR},
    {"Memory free error.", "Error", MESSAGE_ICON_NONE},
};

void* DumpTarget::AllocateOutput(size_t bytes) {
    return std::calloc(bytes, 1);
}

bool DumpTarget::ReleaseOutput(void* block) {
    std::free(block);
    return true;
}

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

struct ByteTables {
    char hex[256][2];
    char shown[256];
    char twoDigits[100][2];
};

constexpr ByteTables MakeByteTables() {
    ByteTables tables{};
    const char digits[] = "0123456789ABCDEF";
    for (int value = 0; value < 256; ++value) {
        tables.hex[value][0] = digits[value >> 4];
        tables.hex[value][1] = digits[value & 15];
        tables.shown[value] = value >= 0x20 && value <= 0x7E ? char(value) : '.';
    }
    for (int value = 0; value < 100; ++value) {
        tables.twoDigits[value][0] = char('0' + value / 10);
        tables.twoDigits[value][1] = char('0' + value % 10);
    }
    return tables;
}
constexpr ByteTables Tables = MakeByteTables();

// Right-aligned: the last digit lands on lastColumn, the columns left of the digits keep what
// they hold, and a number wider than its field runs on to the left (never past column 0).
void WriteNumber(char* line, size_t lastColumn, uint32_t value) {
    char digits[10];
    char* first = digits + sizeof digits;
    while (value >= 100) {
        first -= 2;
        std::memcpy(first, Tables.twoDigits[value % 100], 2);
        value /= 100;
    }
    if (value >= 10) {
        first -= 2;
        std::memcpy(first, Tables.twoDigits[value], 2);
    } else {
        *--first = char('0' + value);
    }
    size_t count = size_t(digits + sizeof digits - first);
    if (count > lastColumn + 1) {
        first += count - (lastColumn + 1);
        count = lastColumn + 1;
    }
    std::memcpy(line + lastColumn + 1 - count, first, count);
}

inline void WriteByte(char* line, size_t k, unsigned char byte) {
    std::memcpy(line + HexColumn + 3 * k + (k >= 8 ? HexHighHalfColumn - HexColumn - 24 : 0),
                Tables.hex[byte], 2);
    line[CharColumn + k] = Tables.shown[byte];
}

void WriteBytes(char* line, const unsigned char* bytes, uint32_t count) {
    if (count == BytesPerLine) {
        // The common case, with a constant trip count the compiler can unroll.
        for (size_t k = 0; k < BytesPerLine; ++k)
            WriteByte(line, k, bytes[k]);
        return;
    }
    for (size_t k = 0; k < count; ++k)
        WriteByte(line, k, bytes[k]);
}

// Files repeat a few tags many times; remembering recent answers keeps the table scan out of
// the per-record cost.
class TagNameCache {
  public:
    const char* Lookup(uint32_t tag) {
        unsigned slot = (tag * 0x9E3779B1u) >> (32 - SlotBits);
        if (!filled_[slot] || tags_[slot] != tag) {
            tags_[slot] = tag;
            names_[slot] = LookupTagName(tag).data();
            filled_[slot] = true;
        }
        return names_[slot];
    }

  private:
    static constexpr unsigned SlotBits = 6;
    uint32_t tags_[1 << SlotBits] = {};
    const char* names_[1 << SlotBits] = {};
    bool filled_[1 << SlotBits] = {};
};

// Collects whole lines in the caller's buffer and hands it on when the next line would not fit.
class LineBuffer {
  public:
    LineBuffer(char* buffer, size_t capacity, DumpLineSink* sink)
        : buffer_(buffer), capacity_(capacity), sink_(sink) {}

    bool Append(const char* line) {
        if (capacity_ - used_ < DumpLineLength && !Flush())
            return false;
        if (capacity_ - used_ < DumpLineLength)
            return false;
        std::memcpy(buffer_ + used_, line, DumpLineLength);
        used_ += DumpLineLength;
        return true;
    }

    // Without a sink the lines stay in the buffer for the caller.
    bool Flush() {
        if (!sink_ || used_ == 0)
            return sink_ != nullptr;
        bool written = sink_->WriteLines(buffer_, used_);
        used_ = 0;
        return written;
    }

  private:
    char* buffer_;
    size_t capacity_;
    DumpLineSink* sink_;
    size_t used_ = 0;
};

bool RecordFits(uint32_t left, uint32_t size) {
    return left >= RecordHeaderSize && size <= left - RecordHeaderSize;
}

uint32_t LinesOfRecord(uint32_t size) {
    return size <= BytesPerLine ? 1 : size / BytesPerLine + (size % BytesPerLine != 0);
}

} // namespace

void ReportProgress(DumpTarget& target, const unsigned char* position, const unsigned char* data,
                    uint32_t length) {
    // Wide arithmetic so that no length, however large, can wrap the percentage.
    uint64_t percent = uint64_t(position - data) * 100 / (length ? length : 1);
    char text[32] = "Opened... ";
    char* end = std::to_chars(text + 10, text + sizeof text - 2, percent).ptr;
    end[0] = '%';
    end[1] = '\0';
    target.ShowProgress(text);
}

DumpPlan PlanDump(const unsigned char* data, uint32_t length) {
    DumpPlan plan{};
    uint32_t offset = 0;
    while (offset < length) {
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

DumpWalkResult WriteDumpLines(const unsigned char* data, uint32_t length, Numeration mode,
                              char* buffer, size_t capacity, DumpLineSink* sink,
                              DumpTarget* progress) {
    LineBuffer out(buffer, capacity, sink);
    TagNameCache names;
    char line[DumpLineLength];
    uint32_t records = 0;
    uint32_t lines = 0;
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
        lines += 1;
        std::memcpy(line, HeaderLineTemplate, DumpLineLength);
        uint32_t dataOffset = offset + RecordHeaderSize;
        WriteNumber(line, NumberLastColumn,
                    mode == NUMERATION_SINGLE   ? lines
                    : mode == NUMERATION_OFFSET ? dataOffset
                                                : records);
        std::memcpy(line + TagNameColumn, names.Lookup(header.tag), TagNameLength);
        WriteNumber(line, SizeLastColumn, header.size);

        const unsigned char* bytes = data + dataOffset;
        uint32_t remaining = header.size;
        uint32_t shown = 0;
        uint32_t subLine = 0;
        for (;;) {
            WriteBytes(line, bytes + shown, remaining < BytesPerLine ? remaining : BytesPerLine);
            if (!out.Append(line))
                return DUMP_WALK_STOPPED;
            if (remaining <= BytesPerLine)
                break;
            shown += BytesPerLine;
            subLine += 1;
            remaining -= BytesPerLine;
            std::memcpy(line + ContinuationStart, ContinuationLineTemplate + ContinuationStart,
                        DumpLineLength - ContinuationStart);
            if (mode == NUMERATION_SINGLE)
                WriteNumber(line, NumberLastColumn, lines += 1);
            else if (mode == NUMERATION_OFFSET)
                WriteNumber(line, NumberLastColumn, dataOffset + shown);
            else
                WriteNumber(line, SizeLastColumn, subLine);
            if (progress && subLine % ProgressInterval == 0)
                ReportProgress(*progress, data + offset + shown, data, length);
        }
        offset = dataOffset + header.size;
    }
    return sink && !out.Flush() ? DUMP_WALK_STOPPED : DUMP_WALK_COMPLETE;
}

bool FormatModuleInfo(DumpTarget& target, const unsigned char* data, uint32_t length) {
    if (length > MaxModuleInfoLength) {
        target.ShowMessage(DumpFailureMessages[DUMP_TOO_LARGE]);
        return false;
    }
    if (!IsModuleInfoFile(data, length)) {
        target.ShowMessage(DumpFailureMessages[DUMP_NO_SIGNATURE]);
        return false;
    }
    // Sized by a pass over the headers alone; the walk below formats exactly these lines.
    uint64_t textLength = PlanDump(data, length).lineCount * DumpLineLength;
    char* text = textLength < SIZE_MAX
                     ? static_cast<char*>(target.AllocateOutput(size_t(textLength) + 1))
                     : nullptr;
    if (!text) {
        target.ShowMessage(DumpFailureMessages[DUMP_ALLOCATION_FAILED]);
        return false;
    }
    bool shown = false;
    if (WriteDumpLines(data, length, NumerationMode, text, size_t(textLength), nullptr, &target) ==
        DUMP_WALK_COMPLETE) {
        text[textLength] = '\0';
        shown = target.SetText(text, size_t(textLength));
    } else {
        target.ShowMessage(DumpFailureMessages[DUMP_FORMAT_ERROR]);
    }
    if (!target.ReleaseOutput(text))
        target.ShowMessage(DumpFailureMessages[DUMP_FREE_FAILED]);
    return shown;
}
