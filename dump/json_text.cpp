#include "dump/json_text.h"

namespace {

constexpr char HexDigits[] = "0123456789abcdef";

} // namespace

size_t Utf8Length(std::string_view text, size_t at) {
    auto byte = [&](size_t k) { return at + k < text.size() ? (unsigned char)text[at + k] : 0u; };
    unsigned lead = byte(0);
    if (lead < 0x80)
        return at < text.size() ? 1 : 0;
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    for (size_t k = 1; k < length; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF)
            return 0;
    unsigned second = byte(1);
    bool overlong = (lead == 0xE0 && second < 0xA0) || (lead == 0xF0 && second < 0x90);
    bool outside = (lead == 0xED && second >= 0xA0) || (lead == 0xF4 && second >= 0x90);
    return overlong || outside ? 0 : length;
}

bool IsUtf8(std::string_view text) {
    for (size_t at = 0, length = 0; at < text.size(); at += length)
        if ((length = Utf8Length(text, at)) == 0)
            return false;
    return true;
}

void AppendJsonString(std::string& json, std::string_view text) {
    json += '"';
    for (size_t at = 0; at < text.size();) {
        size_t length = Utf8Length(text, at);
        unsigned char byte = (unsigned char)text[at];
        if (length == 0) {
            json += "\xEF\xBF\xBD"; // U+FFFD
            ++at;
            continue;
        }
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += char(byte);
        } else if (byte < 0x20) {
            json += "\\u00";
            json += HexDigits[byte >> 4];
            json += HexDigits[byte & 15];
        } else {
            json.append(text, at, length);
        }
        at += length;
    }
    json += '"';
}

void AppendJsonHex(std::string& json, std::string_view bytes) {
    json += '"';
    for (unsigned char byte : bytes) {
        json += HexDigits[byte >> 4];
        json += HexDigits[byte & 15];
    }
    json += '"';
}
