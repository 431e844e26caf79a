// UTF-8 read strictly, by one decoder for every face: names in messages, the text a search
// looks for, the strings of JSON.
#pragma once

#include <cstddef>
#include <string_view>

struct Utf8Char {
    char32_t point;
    size_t length; // its bytes; 0 where none begins
};

// The character whose bytes begin at `at`, well formed: no overlong form, no surrogate, nothing
// past U+10FFFF, no sequence cut by the end. Length 0 for a byte that begins none (a stray
// continuation byte, C0, C1, F5 to FF), and for `at` past the end.
Utf8Char DecodeUtf8At(std::string_view text, size_t at);

inline size_t Utf8Length(std::string_view text, size_t at) {
    return DecodeUtf8At(text, at).length;
}

bool IsUtf8(std::string_view text);
