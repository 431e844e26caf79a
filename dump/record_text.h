// The texts that show records outside the dump lines: a record as a line of the record list or
// as a JSON object, its tag in hexadecimal and its name.
#pragma once

#include "dump/records.h"

#include <cstddef>
#include <string_view>

// "         1  00000000  4D 6F 64 00  MI_SIGNATURE          32\n": the record number and the
// size right-aligned in ten columns, the offset in eight hexadecimal digits, the tag's bytes in
// file order and its name.
constexpr size_t RecordLineLength = 60;
char* WriteRecordLine(const Record& record, char* at);

// {"record": 1, "offset": 0, "tag": "4D6F6400", "name": "MI_SIGNATURE", "size": 32} and a line
// feed, in at most RecordJsonRoom bytes.
constexpr size_t RecordJsonRoom = 128;
char* WriteRecordJson(const Record& record, char* at);

// The tag's four bytes in file order, as eight hexadecimal digits.
char* WriteTagHex(uint32_t tag, char* at);

// The tag's name without the spaces that pad it to TagNameLength.
std::string_view TrimmedTagName(uint32_t tag);
