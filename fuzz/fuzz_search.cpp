// The search on any input: its first byte says how the next bytes make the query and where next
// and previous start; the rest is the file, whose records that fit are searched. CheckSearch
// holds every hit, next and previous against a comparison at every offset. With 0x10 in the
// first byte the pattern is its piece said again and again, a periodic pattern, in a shorter file.
#include "dump/byte_search.h"
#include "tests/support/checks.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 2 || size > 65536)
        return -1;
    size_t patternLength = 1 + bytes[0] % 6;
    if (size < 1 + patternLength)
        return -1;
    std::string piece(reinterpret_cast<const char*>(bytes + 1), patternLength), text;
    for (int k = bytes[0] & 0x10 ? 2 + (bytes[0] & 0x0F) * 9 : 1; k > 0; --k)
        text += piece;
    if (text.size() > patternLength && size > 16384)
        return -1;
    const unsigned char* data = bytes + 1 + patternLength;
    uint32_t length = uint32_t(size - 1 - patternLength);
    SearchQuery query;
    if (bytes[0] & 0x80) {
        static const char Digits[] = "0123456789abcdef";
        std::string hex;
        for (unsigned char c : text)
            hex += std::string{Digits[c >> 4], Digits[c & 15], ' '};
        Require(ParseHexPattern(hex, query) ? "" : "hex refused");
    } else if (!MakeTextQuery(text, bytes[0] & 0x40, bytes[0] & 0x20, query)) {
        return 0; // not UTF-8, with --utf16
    }
    RecordIndex index;
    if (!index.Build(data, length))
        return 0;
    uint32_t from = (bytes[0] * 2654435761u) % (index.Length() + 1);
    Require(CheckSearch(data, index, query, !(bytes[0] & 0x80) && bytes[0] & 0x40, {from}));
    return 0;
}
