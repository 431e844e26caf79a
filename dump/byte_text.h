// Each byte as the dump shows it: two hexadecimal digits, and the character of the character
// column. The line kernels, the record list and the file check's messages read the same table.
#pragma once

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
