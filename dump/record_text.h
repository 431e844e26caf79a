// The texts that show bytes and records outside the dump lines: each byte as two hexadecimal
// digits and as the character the dump shows for it, and a record as a line of the record list
// or as a JSON object.
#pragma once

#include "dump/records.h"

#include <cstddef>

struct ByteText {
    char hex[256][2];
    char shown[256]; // 0x20 to 0x7E as themselves, every other byte as "."
};

constexpr ByteText MakeByteText() {
    ByteText text{};
    const char digits[] = "0123456789ABCDEF";
    for (int value = 0; value < 256; ++value) {
        text.hex[value][0] = digits[value >> 4];
        text.hex[value][1] = digits[value & 15];
        text.shown[value] = value >= 0x20 && value <= 0x7E ? char(value) : '.';
    }
    return text;
}
inline constexpr ByteText ByteTexts = MakeByteText();

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
