// Text for JSON, written by one function for every face: a string that any strict parser
// takes, whatever the bytes it is made of.
#pragma once

#include <string>
#include <string_view>

// `text` as a JSON string, quotes included: `"`, `\` and the controls escaped, every
// well-formed UTF-8 character as it is, and each byte that belongs to none as U+FFFD.
void AppendJsonString(std::string& json, std::string_view text);

// The bytes as hexadecimal digits in a JSON string ("6e6fe9"), for what U+FFFD stood in for.
void AppendJsonHex(std::string& json, std::string_view bytes);
