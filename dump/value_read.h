// What the bytes at an offset read as, for a data inspector: integers of each width in both byte
// orders, floating-point numbers, and the text that starts there, up to the record's end.
#pragma once

#include "dump/record_index.h"

#include <cstdint>
#include <string>

// Widths 1, 2, 4 and 8 bytes, in that order.
constexpr int ValueWidthCount = 4;
constexpr uint32_t ValueWidths[ValueWidthCount] = {1, 2, 4, 8};

struct ValuesAt {
    uint32_t offset;
    uint32_t record;    // from 0: the record whose header or data holds the offset
    uint32_t available; // bytes from the offset to the record's end
    // A width is there when it fits before the record's end; the others stay 0.
    bool fits[ValueWidthCount];
    uint64_t little[ValueWidthCount], big[ValueWidthCount];
    int64_t signedLittle[ValueWidthCount], signedBig[ValueWidthCount];
    float float32Little, float32Big;  // when fits[2]
    double float64Little, float64Big; // when fits[3]
    // The bytes up to the first NUL (or the record's end, or `mostText` bytes), as they are; and
    // the UTF-16LE text up to a NUL unit, as UTF-8, an unpaired surrogate as U+FFFD.
    std::string ascii;
    std::string utf16;
};

// False when `offset` is not in the file.
bool ReadValuesAt(const RecordIndex& index, uint32_t offset, uint32_t mostText, ValuesAt& values);
