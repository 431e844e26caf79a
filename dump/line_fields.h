// The two counting fields of a dump line, the number column and the size column, written with
// whole 8-byte words; only the line writer uses them.
#pragma once

#include "dump/line_layout.h"

#include <bit>
#include <cstdint>
#include <cstring>

// Lines are patched with whole 8-byte words, first column in the lowest byte.
static_assert(std::endian::native == std::endian::little);

inline constexpr size_t LinePrefixLength = HexColumn; // the columns before the data

inline constexpr uint64_t AsciiZeros = 0x3030303030303030ull;

// The eight decimal digits of value, as they stand in a line: every step splits all lanes at
// once, 10^4 into two 10^2 into two digits, with multiply-and-shift division that is exact in
// these ranges. Every number of a dump is below 10^8: no count, offset or size of an accepted
// file has nine digits.
inline uint64_t EightDigits(uint32_t value) {
    uint64_t quads = uint64_t(value / 10000) | uint64_t(value % 10000) << 32;
    uint64_t hundreds = ((quads * 10486) >> 20) & 0x0000007F0000007Full;
    uint64_t pairs = hundreds | (quads - hundreds * 100) << 16;
    uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000Full;
    uint64_t digits = tens | (pairs - tens * 10) << 8;
    return digits | AsciiZeros;
}

// The number column is exactly eight wide: a first line starts it with zeros and every later
// value covers it.
inline void WriteNumberColumn(char* line, uint32_t value) {
    uint64_t word = EightDigits(value);
    std::memcpy(line + NumberLastColumn - 7, &word, 8);
}

// The eight columns that end at the size column's last one, as a template holds them.
constexpr uint64_t SizeWordOf(const char* lineTemplate) {
    uint64_t word = 0;
    for (size_t k = 0; k < 8; ++k)
        word |= uint64_t((unsigned char)lineTemplate[SizeLastColumn - 7 + k]) << (8 * k);
    return word;
}
inline constexpr uint64_t HeaderSizeWord = SizeWordOf(HeaderLineTemplate);
inline constexpr uint64_t ContinuationSizeWord = SizeWordOf(ContinuationLineTemplate);

// Right-aligned over what `templateWord` left there: the digits from the first significant one
// (at least the last), the template's characters before them, so that a number wider than the
// field runs on to the left.
inline void WriteSizeColumn(char* line, uint32_t value, uint64_t templateWord) {
    uint64_t digits = EightDigits(value);
    uint64_t significant = digits ^ AsciiZeros;
    int leading = significant ? std::countr_zero(significant) / 8 : 7;
    uint64_t kept = ~uint64_t(0) << (8 * (leading < 7 ? leading : 7));
    uint64_t word = (digits & kept) | (templateWord & ~kept);
    std::memcpy(line + SizeLastColumn - 7, &word, 8);
}

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
inline constexpr char NumberAfter = HeaderLineTemplate[NumberLastColumn + 1];
inline constexpr char SizeAfter = HeaderLineTemplate[SizeLastColumn + 1];
static_assert(ContinuationLineTemplate[NumberLastColumn + 1] == NumberAfter &&
              ContinuationLineTemplate[SizeLastColumn + 1] == SizeAfter);
inline constexpr LowDigits NumberLowDigits = MakeLowDigits(NumberAfter, '0');
inline constexpr LowDigits SizeLowDigits = MakeLowDigits(SizeAfter, '0');
// A sub-line number below 1000 over the continuation template's blank size column.
inline constexpr LowDigits SmallSizeDigits =
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
        std::memcpy(prefix_, start, LinePrefixLength);
    }

    void Write(char* line, uint32_t value) {
        std::memcpy(line, prefix_, LinePrefixLength);
        uint32_t high = value / 1000;
        if (high == high_) {
            std::memcpy(line + LastColumn() - 2, low_->text[value % 1000], 4);
            return;
        }
        WriteField(line, value);
        std::memcpy(prefix_, line, LinePrefixLength);
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

    char prefix_[LinePrefixLength];
    bool sizeField_;
    uint32_t high_; // of the value the prefix holds; UINT32_MAX / 1000 is no value's
    const LowDigits* low_;
};
