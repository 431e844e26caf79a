// The page's file calls: a file read into the module, checked as the viewer checks it and
// indexed; its dump lines, its record list and the places a reader jumps to. Lengths and
// offsets come in as doubles, the page's own numbers, so that a file past 4 GiB is told apart
// from a small one instead of wrapping.
#include "web/core/binding.h"
#include "web/core/salvage.h"

#include "dump/file_check.h"
#include "dump/record_text.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <string>
#include <string_view>

namespace {

OpenFile files[SLOT_COUNT];
OpenFile incoming[SLOT_COUNT]; // read for the slot, and checked; not yet in it

struct Buffer {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
};
Buffer output;
Buffer query;
uint32_t refusalLength = 0; // of the last refusal's text in the output buffer
bool salvageable = false;   // whether the last file refused could be salvaged

char* Room(Buffer& buffer, size_t bytes) {
    if (bytes > buffer.size) {
        buffer.bytes.reset(new (std::nothrow) char[bytes]);
        buffer.size = buffer.bytes ? bytes : 0;
    }
    return buffer.bytes.get();
}

enum FindResult { FIND_NONE = -1, FIND_EMPTY = -2, FIND_NO_MEMORY = -3 };

bool IsSlot(int slot) {
    return slot >= 0 && slot < SLOT_COUNT;
}

bool SameLetter(char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) ==
           std::toupper(static_cast<unsigned char>(b));
}

// The first record from `first` on, then from the start, whose tag name holds `wanted`; with
// `backward`, the last from `first` back, then from the end. -1 for none.
int64_t FindName(const RecordIndex& index, uint32_t first, bool backward, std::string_view wanted) {
    uint32_t count = index.Count();
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t record = backward ? (first + count - k) % count : (first + k) % count;
        std::string_view name = LookupTagName(ReadUint32Le(index.Data() + index.Offset(record)));
        if (std::search(name.begin(), name.end(), wanted.begin(), wanted.end(), SameLetter) !=
            name.end())
            return record;
    }
    return -1;
}

} // namespace

OpenFile* AcceptedFile(int slot) {
    return IsSlot(slot) && files[slot].accepted ? &files[slot] : nullptr;
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

// Checks the bytes the page put at qef_reserve's answer (none for a file over the limit) and
// indexes an accepted file, which then waits for qef_take (the shown slot) or qef_compare (the
// compared one). With `salvage`, a file refused for its chain or its signature is accepted as
// what survives of it. A refusal's text, the viewer's message and where the file breaks, is
// left in the output buffer. A refused file is forgotten and leaves the slots as they were.
QEF_EXPORT int qef_open(int slot, double length, int salvage) {
    if (!IsSlot(slot) || !(length >= 0))
        return OPEN_REFUSED;
    OpenFile& file = incoming[slot];
    bool tooLarge = length > MaxModuleInfoLength;
    if (!tooLarge && !(file.bytes && length == file.length)) {
        file = OpenFile();
        return OPEN_NO_MEMORY;
    }
    uint64_t size = tooLarge ? uint64_t(std::min(length, 1e18)) : file.length;
    FileCheck check = CheckModuleInfoFile(file.bytes.get(), size);
    // An empty file has nothing that could survive.
    salvageable = size > 0 && (check.verdict == FILE_BROKEN || check.verdict == FILE_NO_SIGNATURE);
    if (check.verdict != FILE_ACCEPTED && !(salvage && salvageable)) {
        refusalLength = OutputOf([&] { return DescribeRefusal(check, file.bytes.get(), size); });
        file = OpenFile();
        return refusalLength ? OPEN_REFUSED : OPEN_NO_MEMORY;
    }
    bool indexed = check.verdict == FILE_ACCEPTED ? file.index.Build(file.bytes.get(), file.length)
                                                  : SalvageOpenFile(file);
    if (!indexed) {
        file = OpenFile();
        return OPEN_NO_MEMORY;
    }
    file.accepted = true;
    return OPEN_ACCEPTED;
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

// The length of the text qef_open left for its last refusal.
QEF_EXPORT uint32_t qef_open_message_length() {
    return refusalLength;
}

// Whether the last file refused could be opened as what survives of it.
QEF_EXPORT int qef_open_salvageable() {
    return salvageable;
}

QEF_EXPORT uint32_t qef_line_count(int slot) {
    OpenFile* file = AcceptedFile(slot);
    return !file ? 0 : file->salvage ? SalvageLineCount(*file->salvage) : file->index.LineCount();
}

// The rows of the record list: the records, and a salvaged file's damaged regions too.
QEF_EXPORT uint32_t qef_row_count(int slot) {
    OpenFile* file = AcceptedFile(slot);
    return !file ? 0 : file->salvage ? SalvageRowCount(*file->salvage) : file->index.Count();
}

QEF_EXPORT uint32_t qef_record_count(int slot) {
    OpenFile* file = AcceptedFile(slot);
    return file ? file->index.Count() : 0;
}

// Dump lines [first, first + count) in `mode`, CR LF included, into the output buffer: the
// number of bytes written, fewer at the end of the dump.
QEF_EXPORT uint32_t qef_lines(int slot, uint32_t first, uint32_t count, int mode) {
    OpenFile* file = AcceptedFile(slot);
    uint32_t lines = qef_line_count(slot);
    if (!file || first >= lines || mode < NUMERATION_SINGLE || mode > NUMERATION_OFFSET)
        return 0;
    count = std::min(count, lines - first);
    char* room = OutputRoom(size_t(count) * DumpLineLength);
    if (!room)
        return 0;
    if (file->salvage)
        return SalvageLines(*file->salvage, first, count, Numeration(mode), room);
    WriteDumpLines(file->index.RunFromLine(first), Numeration(mode), room,
                   size_t(count) * DumpLineLength, nullptr, nullptr);
    return count * uint32_t(DumpLineLength);
}

// Rows [first, first + count) of the record list, each a line: the bytes written. A record's
// is RecordLineLength bytes.
QEF_EXPORT uint32_t qef_record_lines(int slot, uint32_t first, uint32_t count) {
    OpenFile* file = AcceptedFile(slot);
    uint32_t rows = qef_row_count(slot);
    if (!file || first >= rows)
        return 0;
    count = std::min(count, rows - first);
    char* at = OutputRoom(size_t(count) * (file->salvage ? SalvageRowRoom : RecordLineLength));
    if (!at)
        return 0;
    if (file->salvage)
        return SalvageRowLines(*file->salvage, first, count, at);
    // One position looked up, then the records walked from it.
    const RecordIndex& index = file->index;
    WalkRecords(index.Data(), index.Length(), index.Position(first), [&](const Record& record) {
        at = WriteRecordLine(record, at);
        return record.Number() < first + count;
    });
    return count * uint32_t(RecordLineLength);
}

QEF_EXPORT uint32_t qef_first_line_of_row(int slot, uint32_t row) {
    OpenFile* file = AcceptedFile(slot);
    if (!file || row >= qef_row_count(slot))
        return 0;
    return file->salvage ? SalvageFirstLineOfRow(*file->salvage, row)
                         : file->index.Position(row).line;
}

QEF_EXPORT uint32_t qef_row_of_line(int slot, uint32_t line) {
    OpenFile* file = AcceptedFile(slot);
    if (!file || line >= qef_line_count(slot))
        return 0;
    return file->salvage ? SalvageRowOfLine(*file->salvage, line) : file->index.RecordOfLine(line);
}

// The bytes a row of the record list stands for: a record's data, or a damaged region; the
// first here, the end at qef_row_end.
QEF_EXPORT double qef_row_data(int slot, uint32_t row) {
    OpenFile* file = AcceptedFile(slot);
    if (!file || row >= qef_row_count(slot))
        return -1;
    if (file->salvage)
        return SalvageOffsetOfLine(*file->salvage, SalvageFirstLineOfRow(*file->salvage, row));
    return file->index.Offset(row) + RecordHeaderSize;
}

QEF_EXPORT double qef_row_end(int slot, uint32_t row) {
    OpenFile* file = AcceptedFile(slot);
    if (!file || row >= qef_row_count(slot))
        return -1;
    const RecordIndex& pieces = file->salvage ? SalvagePieces(*file->salvage) : file->index;
    return pieces.Offset(row) + pieces.Bytes(row);
}

// Record `record` (from 0) among the records, a salvaged file's intact ones.
QEF_EXPORT uint32_t qef_first_line_of_record(int slot, uint32_t record) {
    OpenFile* file = AcceptedFile(slot);
    if (!file || record >= file->index.Count())
        return 0;
    return qef_first_line_of_row(slot, file->salvage ? SalvageRowOfRecord(*file->salvage, record)
                                                     : record);
}

// The record of line `line`, or -1 for a line of a salvaged file's damaged region.
QEF_EXPORT double qef_record_of_line(int slot, uint32_t line) {
    OpenFile* file = AcceptedFile(slot);
    uint32_t row = qef_row_of_line(slot, line);
    return file && file->salvage ? double(SalvageRecordOfRow(*file->salvage, row)) : row;
}

// The offset of the first data byte the line shows, as the Offset numeration counts it.
QEF_EXPORT double qef_offset_of_line(int slot, uint32_t line) {
    OpenFile* file = AcceptedFile(slot);
    if (!file || line >= qef_line_count(slot))
        return -1;
    if (file->salvage)
        return SalvageOffsetOfLine(*file->salvage, line);
    RecordPosition at = file->index.Position(file->index.RecordOfLine(line));
    return double(at.offset) + RecordHeaderSize + double(line - at.line) * BytesPerLine;
}

// The line that shows byte `offset`: a header's bytes belong to its record's first line.
QEF_EXPORT double qef_line_of_offset(int slot, double offset) {
    OpenFile* file = AcceptedFile(slot);
    if (!file || !(offset >= 0 && offset < file->length))
        return -1;
    uint32_t byte = uint32_t(offset);
    if (file->salvage)
        return SalvageLineOfOffset(*file->salvage, byte);
    RecordPosition at = file->index.Position(file->index.RecordAtOffset(byte));
    uint32_t intoData =
        byte - at.offset < RecordHeaderSize ? 0 : byte - at.offset - RecordHeaderSize;
    uint32_t line = at.line + intoData / BytesPerLine; // whole lines of data before the byte
    return line;
}

// Room for a query of `bytes` bytes, which the page writes before qef_find.
QEF_EXPORT char* qef_query_room(uint32_t bytes) {
    return Room(query, std::max<size_t>(bytes, 1));
}

// The first record from byte `from` on, going round to the start, whose tag name holds the
// query in any case: its offset; else a FindResult. With `backward`, the last record that starts
// before byte `from`, going round to the end. (Bytes and texts are found by qef_search.)
QEF_EXPORT double qef_find(int slot, uint32_t length, double from, int backward) try {
    OpenFile* file = AcceptedFile(slot);
    if (!file || !query.bytes || length > query.size)
        return FIND_EMPTY;
    std::string_view text(query.bytes.get(), length);
    text.remove_prefix(std::min(text.size(), text.find_first_not_of(' ')));
    text = text.substr(0, text.find_last_not_of(' ') + 1);
    if (text.empty())
        return FIND_EMPTY;
    const RecordIndex& index = file->index;
    uint32_t count = index.Count();
    if (count == 0)
        return FIND_NONE;
    uint32_t start = from >= 0 && from < file->length ? uint32_t(from) : 0;
    // The first record that starts at or after `start`; backward, the one before it.
    uint32_t next = 0;
    if (file->salvage) {
        next = SalvageRecordFrom(*file->salvage, start);
    } else {
        uint32_t record = index.RecordAtOffset(start);
        next = index.Offset(record) < start ? record + 1 : record;
    }
    int64_t found =
        FindName(index, backward ? (next + count - 1) % count : next % count, backward != 0, text);
    if (found < 0)
        return FIND_NONE;
    uint32_t record = uint32_t(found);
    return file->salvage ? SalvageRecordOffset(*file->salvage, record) : index.Offset(record);
} catch (const std::bad_alloc&) {
    return FIND_NO_MEMORY;
}
