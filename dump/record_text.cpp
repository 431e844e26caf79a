#include "dump/record_text.h"

#include "dump/byte_text.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace {

// The longest line, five fields of at most ten digits or twelve characters, is far shorter.
static_assert(RecordJsonRoom > 100);

char* Put(char* at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

char* PutDecimal(char* at, uint32_t value) {
    return std::to_chars(at, at + 10, value).ptr;
}

// Right-aligned in `width` columns, spaces in front.
void PutDecimalField(char* field, size_t width, uint32_t value) {
    std::memset(field, ' ', width);
    char digits[10];
    size_t count = size_t(PutDecimal(digits, value) - digits);
    std::memcpy(field + width - count, digits, count);
}

// Most significant byte first.
void PutHex32(char* field, uint32_t value) {
    for (size_t k = 0; k < 4; ++k)
        std::memcpy(field + 2 * k, ByteTexts.hex[(value >> (24 - 8 * k)) & 0xFF], 2);
}

} // namespace

std::string_view TrimmedTagName(uint32_t tag) {
    std::string_view name = LookupTagName(tag);
    return name.substr(0, name.find_last_not_of(' ') + 1);
}

char* WriteTagHex(uint32_t tag, char* at) {
    for (int k = 0; k < 4; ++k, at += 2)
        std::memcpy(at, ByteTexts.hex[(tag >> (8 * k)) & 0xFF], 2);
    return at;
}

char* WriteRecordLine(const Record& record, char* at) {
    std::memset(at, ' ', RecordLineLength);
    PutDecimalField(at, 10, record.Number());
    PutHex32(at + 12, record.at.offset);
    for (size_t k = 0; k < 4; ++k)
        std::memcpy(at + 22 + 3 * k, ByteTexts.hex[(record.tag >> (8 * k)) & 0xFF], 2);
    std::memcpy(at + 35, LookupTagName(record.tag).data(), TagNameLength);
    PutDecimalField(at + 49, 10, record.size);
    at[RecordLineLength - 1] = '\n';
    return at + RecordLineLength;
}

char* WriteRecordJson(const Record& record, char* at) {
    at = PutDecimal(Put(at, "{\"record\": "), record.Number());
    at = PutDecimal(Put(at, ", \"offset\": "), record.at.offset);
    at = WriteTagHex(record.tag, Put(at, ", \"tag\": \""));
    at = Put(Put(Put(at, "\", \"name\": \""), TrimmedTagName(record.tag)), "\", \"size\": ");
    return Put(PutDecimal(at, record.size), "}\n");
}
