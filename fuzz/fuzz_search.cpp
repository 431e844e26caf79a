// The search on any input: its first byte says how the next bytes make the query and where next
// and previous start; the rest is the file, whose records that fit are searched. Every hit, next
// and previous are held against a comparison at every offset. With 0x10 in the first byte the
// pattern is its piece said again and again, a periodic pattern, in a shorter file.
#include "dump/byte_search.h"
#include "tests/support/checks.h"

#include <algorithm>
#include <string>
#include <vector>

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
    length = index.Length();
    std::vector<SearchHit> model;
    for (uint32_t at = 0; at < length; ++at)
        for (uint32_t p = 0; p < query.patterns.size(); ++p) {
            const SearchPattern& pattern = query.patterns[p];
            bool hit = pattern.bytes.size() <= length - at;
            for (size_t k = 0; hit && k < pattern.bytes.size(); ++k)
                hit = (data[at + k] | pattern.fold[k]) ==
                      ((unsigned char)pattern.bytes[k] | pattern.fold[k]);
            if (hit)
                model.push_back({at, uint32_t(pattern.bytes.size()), p, index.RecordAtOffset(at)});
        }
    auto same = [](const SearchHit& a, const SearchHit& b) {
        return a.offset == b.offset && a.length == b.length && a.pattern == b.pattern &&
               a.record == b.record;
    };
    HitCursor cursor(index, query);
    size_t k = 0;
    for (SearchHit hit; cursor.Next(hit); ++k)
        Require(k < model.size() && same(hit, model[k]) ? "" : "a hit differs");
    Require(k == model.size() ? "" : "hits missing");
    uint32_t from = length ? (bytes[0] * 2654435761u) % (length + 1) : 0;
    SearchHit next{}, previous{};
    bool found = FindNextHit(index, query, from, next);
    Require(FindPreviousHit(index, query, from, previous) == found && found == !model.empty()
                ? ""
                : "next or previous found what the model did not");
    if (found) {
        auto after = std::find_if(model.begin(), model.end(),
                                  [from](const SearchHit& h) { return h.offset >= from; });
        auto before = std::find_if(model.rbegin(), model.rend(),
                                   [from](const SearchHit& h) { return h.offset < from; });
        Require(same(next, after != model.end() ? *after : model.front()) ? "" : "next differs");
        Require(same(previous, before != model.rend() ? *before : model.back())
                    ? ""
                    : "previous differs");
    }
    return 0;
}
