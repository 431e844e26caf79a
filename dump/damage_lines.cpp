#include "dump/damage_lines.h"

#include "dump/line_kernel.h"

#include <algorithm>
#include <cstring>

namespace {

// The columns before the data: eight '~' for the number, the name, then the offset's eight
// hexadecimal digits ending where a size ends.
constexpr char DamagePrefix[HexColumn + 1] = "~~~~~~~~: DAMAGED     ........  ";
constexpr size_t OffsetColumn = 22;
static_assert(OffsetColumn + 8 == SizeLastColumn + 1);
static_assert(DamagePrefix[OffsetColumn] == '.' && DamagePrefix[HexColumn - 1] == ' ');

} // namespace

void WriteDamageLines(const unsigned char* data, uint32_t offset, uint32_t length, uint32_t skip,
                      uint32_t count, char* at) {
    for (uint32_t line = skip; line < skip + count; ++line, at += DumpLineLength) {
        uint32_t from = line * BytesPerLine;
        uint32_t first = offset + from;
        std::memcpy(at, DamagePrefix, HexColumn);
        for (int digit = 0; digit < 8; ++digit)
            at[OffsetColumn + digit] = "0123456789ABCDEF"[(first >> (28 - 4 * digit)) & 0xF];
        WriteLineData(at, data + first, std::min(BytesPerLine, length - from));
    }
}
