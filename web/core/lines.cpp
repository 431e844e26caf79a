// An open file's dump lines and its record list's rows, in pieces as the page shows them, and
// how they stand to each other and to the file's bytes: the line a byte is shown on, the row of
// a line, the offset of a line. Offsets come in as doubles, the page's own numbers, so that an
// offset past 4 GiB is told apart from a small one instead of wrapping.
#include "web/core/binding.h"
#include "web/core/salvage.h"

#include "dump/record_text.h"

#include <algorithm>

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
    return double(at.offset) + FirstByteOfLine(line - at.line, RecordHeaderSize);
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
    return at.line + LineOfByte(byte - at.offset, RecordHeaderSize);
}
