// Text for JSON, written by one function for every face: a string that any strict parser
// takes, whatever the bytes it is made of.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// How many bytes from `at` form one well-formed UTF-8 character (1 for ASCII); 0 where the
// byte there begins none (a stray continuation byte, an overlong form, a surrogate).
size_t Utf8Length(std::string_view text, size_t at);
bool IsUtf8(std::string_view text);

// `text` as a JSON string, quotes included: `"`, `\` and the controls escaped, every
// well-formed UTF-8 character as it is, and each byte that belongs to none as U+FFFD.
void AppendJsonString(std::string& json, std::string_view text);

// The bytes as hexadecimal digits in a JSON string ("6e6fe9"), for what U+FFFD stood in for.
void AppendJsonHex(std::string& json, std::string_view bytes);
