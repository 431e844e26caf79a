#include "dump/value_read.h"

#include <cstring>

namespace {

void AppendUtf8(std::string& text, char32_t point) {
    if (point < 0x80) {
        text.push_back(char(point));
        return;
    }
    constexpr unsigned char Lead[4] = {0, 0xC0, 0xE0, 0xF0};
    int extra = point < 0x800 ? 1 : point < 0x10000 ? 2 : 3;
    text.push_back(char(Lead[extra] | (point >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k)
        text.push_back(char(0x80 | ((point >> (6 * k)) & 0x3F)));
}

// The bits of `bits` read as a T; std::bit_cast, which not every library this builds with has.
template <typename T, typename Bits> T BitsAs(Bits bits) {
    static_assert(sizeof(T) == sizeof(Bits));
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

uint32_t Unit(const unsigned char* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8;
}

} // namespace

bool ReadValuesAt(const RecordIndex& index, uint32_t offset, uint32_t mostText, ValuesAt& values) {
    if (offset >= index.Length())
        return false;
    values = ValuesAt{};
    values.offset = offset;
    values.record = index.RecordAtOffset(offset);
    uint32_t end = index.Offset(values.record) + index.Bytes(values.record);
    values.available = end - offset;
    const unsigned char* at = index.Data() + offset;
    for (int w = 0; w < ValueWidthCount; ++w) {
        uint32_t width = ValueWidths[w];
        if (width > values.available)
            continue;
        values.fits[w] = true;
        for (uint32_t k = 0; k < width; ++k) {
            values.little[w] |= uint64_t(at[k]) << (8 * k);
            values.big[w] = values.big[w] << 8 | at[k];
        }
        unsigned unused = 64 - 8 * width; // sign-extended from the width's top bit
        values.signedLittle[w] = int64_t(values.little[w] << unused) >> unused;
        values.signedBig[w] = int64_t(values.big[w] << unused) >> unused;
    }
    values.float32Little = BitsAs<float>(uint32_t(values.little[2]));
    values.float32Big = BitsAs<float>(uint32_t(values.big[2]));
    values.float64Little = BitsAs<double>(values.little[3]);
    values.float64Big = BitsAs<double>(values.big[3]);
    uint32_t text = values.available < mostText ? values.available : mostText;
    const void* nul = std::memchr(at, 0, text);
    values.ascii.assign(reinterpret_cast<const char*>(at),
                        nul ? static_cast<const unsigned char*>(nul) - at : text);
    for (uint32_t k = 0; k + 1 < text; k += 2) {
        uint32_t unit = Unit(at + k);
        if (unit == 0)
            break;
        bool high = unit >= 0xD800 && unit < 0xDC00;
        uint32_t low = high && k + 3 < text ? Unit(at + k + 2) : 0;
        if (low >= 0xDC00 && low < 0xE000) {
            AppendUtf8(values.utf16, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            k += 2;
        } else {
            AppendUtf8(values.utf16, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
        }
    }
    return true;
}
