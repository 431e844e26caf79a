// How a dump line is laid out: its length, the columns of its fields, the two templates every
// line starts from, and where a byte of the file is shown.
#pragma once

#include "dump/records.h"

#include <cstddef>
#include <cstdint>

constexpr size_t DumpLineLength = 103; // including the closing CR LF

// Columns count from 0.
constexpr size_t NumberLastColumn = 7;
constexpr size_t TagNameColumn = 10;
constexpr size_t SizeFirstColumn = 25;
constexpr size_t SizeLastColumn = 29;
constexpr size_t HexColumn = 32;
constexpr size_t HexHighHalfColumn = 58; // bytes 8 to 15 of a line
constexpr size_t CharColumn = 84;

// 103 characters each; "T" in the continuation template keeps the previous line's character.
inline constexpr char HeaderLineTemplate[DumpLineLength + 1] =
    "00000000:               |00000|                         -                         |"
    "                  \r\n";
inline constexpr char ContinuationLineTemplate[DumpLineLength + 1] =
    "TTTTTTTT: TTTTTTTTTTTT  |     |                         -                         |"
    "                  \r\n";
static_assert(HeaderLineTemplate[SizeFirstColumn - 1] == '|' &&
              HeaderLineTemplate[SizeLastColumn + 1] == '|');

// The line that shows the byte `into` bytes from the start of a record, counted from the
// record's first line; `header` is RecordHeaderSize, whose bytes the first line shows in its
// fields, or 0 for a damaged region, whose lines show nothing but its bytes.
constexpr uint32_t LineOfByte(uint32_t into, uint32_t header) {
    return into < header ? 0 : (into - header) / BytesPerLine;
}
// The inverse: how far from the start the first byte that line `line` shows stands.
constexpr uint32_t FirstByteOfLine(uint32_t line, uint32_t header) {
    return header + line * BytesPerLine;
}

// The columns of the k-th byte a line shows (k below BytesPerLine): its two hexadecimal digits,
// a wider gap after the first eight, and its character.
constexpr size_t HexColumnOf(size_t k) {
    return k < BytesPerLine / 2 ? HexColumn + 3 * k
                                : HexHighHalfColumn + 3 * (k - BytesPerLine / 2);
}
constexpr size_t CharColumnOf(size_t k) {
    return CharColumn + k;
}
static_assert(HexColumnOf(BytesPerLine - 1) + 2 < CharColumn);

// A record's first line shows its header in two fields, columns [from, to): the tag's four bytes
// as its name, the size's four as the size.
struct ColumnSpan {
    size_t from, to;
};
inline constexpr ColumnSpan HeaderFields[2] = {{TagNameColumn, SizeFirstColumn - 1},
                                               {SizeFirstColumn, SizeLastColumn + 1}};
