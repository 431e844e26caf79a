// The core's UTF-8 decoder for utf8_check.py: each line in is bytes in hexadecimal; each line
// out, for each offset and the end, the code point begun there and its length ("0:0" where none
// begins), then whether all of it is UTF-8.
#include "dump/utf8.h"

#include <cstdio>
#include <iostream>
#include <string>

int main() {
    for (std::string line; std::getline(std::cin, line); std::printf("\n")) {
        std::string bytes;
        for (size_t k = 0; k + 1 < line.size(); k += 2)
            bytes += char(std::stoi(line.substr(k, 2), nullptr, 16));
        std::string padded = bytes + "\x80\x80\x80"; // what a read past the end would take
        std::string_view text(padded.data(), bytes.size());
        for (size_t at = 0; at <= text.size(); ++at) {
            Utf8Char read = DecodeUtf8At(text, at);
            std::printf("%X:%zu ", unsigned(read.point), read.length);
        }
        std::printf("%s", IsUtf8(text) ? "UTF-8" : "not");
    }
}
