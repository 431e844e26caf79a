#include "dump/formatter.h"

#include "dump/line_kernel.h"
#include "dump/module_info.h"

#include <bit>
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
    char shown[256];
    char hex[256][2];
};

constexpr ByteTables MakeByteTables() {
    ByteTables tables{};
    const char digits[] = "0123456789ABCDEF";
    for (int value = 0; value < 256; ++value) {
        tables.hex[value][0] = digits[value >> 4];
        tables.hex[value][1] = digits[value & 15];
        tables.shown[value] = value >= 0x20 && value <= 0x7E ? char(value) : '.';
    }
    return tables;
}
constexpr ByteTables Tables = MakeByteTables();

// Lines are patched with whole 8-byte words, first column in the lowest byte.
static_assert(std::endian::native == std::endian::little);

constexpr uint32_t EightDigitLimit = 100000000;
constexpr uint64_t AsciiZeros = 0x3030303030303030ull;

// The eight decimal digits of value (below 10^8), as they stand in a line: every step splits
// all lanes at once, 10^4 into two 10^2 into two digits, with multiply-and-shift division
// that is exact in these ranges.
inline uint64_t EightDigits(uint32_t value) {
    uint64_t quads = uint64_t(value / 10000) | uint64_t(value % 10000) << 32;
    uint64_t hundreds = ((quads * 10486) >> 20) & 0x0000007F0000007Full;
    uint64_t pairs = hundreds | (quads - hundreds * 100) << 16;
    uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000Full;
    uint64_t digits = tens | (pairs - tens * 10) << 8;
    return digits | AsciiZeros;
}

// Right-aligned: the last digit lands on lastColumn, the columns left of the digits keep what
// they hold, and a number wider than its field runs on to the left (never past column 0).
// The general case, for numbers of nine and ten digits.
void WriteNumber(char* line, size_t lastColumn, uint32_t value) {
    char digits[10];
    char* first = digits + sizeof digits;
    do {
        *--first = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    size_t count = size_t(digits + sizeof digits - first);
    if (count > lastColumn + 1) {
        first += count - (lastColumn + 1);
        count = lastColumn + 1;
    }
    std::memcpy(line + lastColumn + 1 - count, first, count);
}

// The number column is exactly eight wide: a first line starts it with zeros and every later
// value covers it, so it always shows the last eight digits.
inline void WriteNumberColumn(char* line, uint32_t value) {
    uint64_t word = EightDigits(value % EightDigitLimit);
    std::memcpy(line + NumberLastColumn - 7, &word, 8);
}

// The eight columns that end at the size column's last one, as a template holds them.
constexpr uint64_t SizeWordOf(const char* lineTemplate) {
    uint64_t word = 0;
    for (size_t k = 0; k < 8; ++k)
        word |= uint64_t((unsigned char)lineTemplate[SizeLastColumn - 7 + k]) << (8 * k);
    return word;
}
constexpr uint64_t HeaderSizeWord = SizeWordOf(HeaderLineTemplate);
constexpr uint64_t ContinuationSizeWord = SizeWordOf(ContinuationLineTemplate);

// The size column over what `templateWord` left there: the digits from the first significant
// one (at least the last), the template's characters before them.
inline void WriteSizeColumn(char* line, uint32_t value, uint64_t templateWord) {
    if (value >= EightDigitLimit) {
        WriteNumber(line, SizeLastColumn, value);
        return;
    }
    uint64_t digits = EightDigits(value);
    uint64_t significant = digits ^ AsciiZeros;
    int leading = significant ? std::countr_zero(significant) / 8 : 7;
    uint64_t kept = ~uint64_t(0) << (8 * (leading < 7 ? leading : 7));
    uint64_t word = (digits & kept) | (templateWord & ~kept);
    std::memcpy(line + SizeLastColumn - 7, &word, 8);
}

constexpr size_t FirstDataColumn = HexColumn;
constexpr size_t DataColumnCount = DumpLineLength - FirstDataColumn;

// The last line of a record that ends in the middle of a line.
void WritePartialDataColumns(char* line, const unsigned char* bytes, uint32_t count) {
    std::memcpy(line + FirstDataColumn, HeaderLineTemplate + FirstDataColumn, DataColumnCount);
    for (size_t k = 0; k < count; ++k) {
        std::memcpy(line + HexColumn + 3 * k + (k >= 8 ? HexHighHalfColumn - HexColumn - 24 : 0),
                    Tables.hex[bytes[k]], 2);
        line[CharColumn + k] = Tables.shown[bytes[k]];
    }
}

// The name of every tag without a branch on the tag: a direct-mapped table of the exact tags,
// with a hash multiplier searched so that no two of them share a slot, and a table by the
// fourth byte for everything else. Gives the same names as LookupTagName.
class TagNames {
  public:
    TagNames() {
        // The tag table is fixed; with eight times as many slots as tags a few tries do.
        while (!PlaceExactTags())
            multiplier_ += 2;
        uint8_t unknown = IndexOf(0xFFFFFFFF);
        for (uint8_t& index : byTopByte_)
            index = unknown;
        for (int i = TagNameCount - 1; i >= 0; --i)
            if ((TagNameTable[i].tag & 0x00FFFFFF) == 0)
                byTopByte_[TagNameTable[i].tag >> 24] = uint8_t(i);
    }

    // Half of all tags in a file may miss the exact table at random, so the choice is made
    // with a mask rather than a branch the processor would guess wrong.
    const char* Find(uint32_t tag) const {
        const Slot& slot = slots_[SlotOf(tag)];
        unsigned byTopByte = byTopByte_[tag >> 24];
        unsigned exact = 0u - unsigned(slot.tag == tag);
        return TagNameTable[byTopByte ^ ((slot.index ^ byTopByte) & exact)].name;
    }

  private:
    static constexpr unsigned SlotBits = 10;
    static constexpr unsigned SlotCount = 1u << SlotBits;
    static_assert(SlotCount >= 8 * TagNameCount && TagNameCount <= 256);

    struct Slot {
        uint32_t tag;
        uint8_t index; // into TagNameTable
        bool used;
    };

    static uint8_t IndexOf(uint32_t tag) {
        for (int i = 0; i < TagNameCount; ++i)
            if (TagNameTable[i].tag == tag)
                return uint8_t(i);
        return 0;
    }

    unsigned SlotOf(uint32_t tag) const { return (tag * multiplier_) >> (32 - SlotBits); }

    bool PlaceExactTags() {
        // An empty slot holds a tag that hashes elsewhere, so that it never matches.
        for (unsigned slot = 0; slot < SlotCount; ++slot) {
            uint32_t stranger = 0;
            while (SlotOf(stranger) == slot)
                ++stranger;
            slots_[slot] = {stranger, 0, false};
        }
        for (int i = 0; i < TagNameCount; ++i) {
            Slot& slot = slots_[SlotOf(TagNameTable[i].tag)];
            if (slot.used && slot.tag != TagNameTable[i].tag)
                return false;
            if (!slot.used)
                slot = {TagNameTable[i].tag, uint8_t(i), true};
        }
        return true;
    }

    uint32_t multiplier_ = 0x9E3779B1u;
    Slot slots_[SlotCount] = {};
    uint8_t byTopByte_[256] = {};
};

// Built once: the table behind it never changes.
const TagNames& TagNamesOnce() {
    static const TagNames names;
    return names;
}

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

// The last three digits of 0 to 999 and the character that follows a field, as one store;
// with `padding`, the leading zeros of the number (not its last digit) are that character.
struct LowDigits {
    char text[1000][4];
};

constexpr LowDigits MakeLowDigits(char after, char padding) {
    LowDigits low{};
    for (int value = 0; value < 1000; ++value) {
        low.text[value][0] = value < 100 ? padding : char('0' + value / 100);
        low.text[value][1] = value < 10 ? padding : char('0' + value / 10 % 10);
        low.text[value][2] = char('0' + value % 10);
        low.text[value][3] = after;
    }
    return low;
}
constexpr char NumberAfter = HeaderLineTemplate[NumberLastColumn + 1];
constexpr char SizeAfter = HeaderLineTemplate[SizeLastColumn + 1];
static_assert(ContinuationLineTemplate[NumberLastColumn + 1] == NumberAfter &&
              ContinuationLineTemplate[SizeLastColumn + 1] == SizeAfter);
constexpr LowDigits NumberLowDigits = MakeLowDigits(NumberAfter, '0');
constexpr LowDigits SizeLowDigits = MakeLowDigits(SizeAfter, '0');
// A sub-line number below 1000 over the continuation template's blank size column.
constexpr LowDigits SmallSizeDigits =
    MakeLowDigits(SizeAfter, ContinuationLineTemplate[SizeLastColumn - 2]);
static_assert(ContinuationLineTemplate[SizeLastColumn - 2] ==
                  ContinuationLineTemplate[SizeLastColumn - 1] &&
              ContinuationLineTemplate[SizeLastColumn - 1] ==
                  ContinuationLineTemplate[SizeLastColumn]);

// The start of a line (columns 0 to 31) with one counting field that differs from line to
// line: the number column, or the size column of continuation lines. The digits above the last
// three are kept in the prefix and rewritten only when they change, so most lines take a copy
// of the prefix and one small store.
class CountedPrefix {
  public:
    // A size field starts on the continuation template's blank column, where every value
    // below 1000 is just its last three columns.
    CountedPrefix(const char* start, bool sizeField)
        : sizeField_(sizeField), high_(sizeField ? 0 : UINT32_MAX),
          low_(sizeField ? &SmallSizeDigits : &NumberLowDigits) {
        std::memcpy(prefix_, start, FirstDataColumn);
    }

    void Write(char* line, uint32_t value) {
        std::memcpy(line, prefix_, FirstDataColumn);
        uint32_t high = value / 1000;
        if (high == high_) {
            std::memcpy(line + LastColumn() - 2, low_->text[value % 1000], 4);
            return;
        }
        WriteField(line, value);
        WriteField(prefix_, value);
        high_ = high;
        low_ = sizeField_ ? &SizeLowDigits : &NumberLowDigits;
    }

  private:
    size_t LastColumn() const { return sizeField_ ? SizeLastColumn : NumberLastColumn; }

    void WriteField(char* line, uint32_t value) const {
        if (sizeField_)
            WriteSizeColumn(line, value, ContinuationSizeWord);
        else
            WriteNumberColumn(line, value);
    }

    char prefix_[FirstDataColumn];
    bool sizeField_;
    uint32_t high_; // of the value the prefix holds; UINT32_MAX / 1000 is no value's
    const LowDigits* low_;
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
    char start[FirstDataColumn];
    std::memcpy(start, first, ContinuationStart);
    std::memcpy(start + ContinuationStart, ContinuationLineTemplate + ContinuationStart,
                FirstDataColumn - ContinuationStart);
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
            WritePartialDataColumns(run + size_t(full) * DumpLineLength,
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
            WritePartialDataColumns(line, bytes, header.size);
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
