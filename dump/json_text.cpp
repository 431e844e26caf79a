#include "dump/json_text.h"

#include "dump/utf8.h"

namespace {

constexpr char HexDigits[] = "0123456789abcdef";

} // namespace

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
