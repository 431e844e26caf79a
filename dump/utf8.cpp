#include "dump/utf8.h"

#include <algorithm>

namespace {

// The leads of the sequences of two to four bytes, and the range of the byte after each; every
// later byte is 80 to BF. The narrow ranges shut out overlong forms (E0, F0), surrogates (ED)
// and what lies past U+10FFFF (F4).
struct Lead {
    unsigned char first, last; // the lead bytes
    unsigned char low, high;   // the second byte
    size_t length;
};
constexpr Lead Leads[] = {
    {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3}, {0xE1, 0xEC, 0x80, 0xBF, 3},
    {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3}, {0xF0, 0xF0, 0x90, 0xBF, 4},
    {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
};

} // namespace

Utf8Char DecodeUtf8At(std::string_view text, size_t at) {
    if (at >= text.size())
        return {0, 0};
    auto lead = (unsigned char)text[at];
    if (lead < 0x80)
        return {lead, 1};
    const Lead* kind = std::find_if(std::begin(Leads), std::end(Leads), [lead](const Lead& l) {
        return lead >= l.first && lead <= l.last;
    });
    if (kind == std::end(Leads) || text.size() - at < kind->length)
        return {0, 0};
    char32_t point = lead & (0x7F >> kind->length);
    for (size_t k = 1; k < kind->length; ++k) {
        auto byte = (unsigned char)text[at + k];
        if (byte < (k == 1 ? kind->low : 0x80) || byte > (k == 1 ? kind->high : 0xBF))
            return {0, 0};
        point = point << 6 | (byte & 0x3F);
    }
    return {point, kind->length};
}

bool IsUtf8(std::string_view text) {
    for (size_t at = 0, length = 0; at < text.size(); at += length)
        if ((length = Utf8Length(text, at)) == 0)
            return false;
    return true;
}
