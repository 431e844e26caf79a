// How a dump line is laid out: its length, the columns of its fields and the two templates
// every line starts from.
#pragma once

#include <cstddef>

constexpr size_t DumpLineLength = 103; // including the closing CR LF

// Columns count from 0.
constexpr size_t NumberLastColumn = 7;
constexpr size_t TagNameColumn = 10;
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
