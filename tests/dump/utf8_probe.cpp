// The core's UTF-8 decoder for utf8_check.py: each line in is bytes in hexadecimal; each line
// out, for each offset, the code point begun there and its length ("0:0" where none begins).
#include "dump/utf8.h"

#include <cstdio>
#include <iostream>
#include <string>

int main() {
    for (std::string line; std::getline(std::cin, line); std::printf("\n")) {
        std::string bytes;
        for (size_t k = 0; k + 1 < line.size(); k += 2)
            bytes += char(std::stoi(line.substr(k, 2), nullptr, 16));
        for (size_t at = 0; at < bytes.size(); ++at) {
            Utf8Char read = DecodeUtf8At(bytes, at);
            std::printf("%s%X:%zu", at ? " " : "", unsigned(read.point), read.length);
        }
    }
}
