#include "tests/support/checks.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// A byte of the file against a pattern's byte, ASCII letters of a text in either case when
// `fold` says so; a UTF-16LE pattern folds only units below 0x80.
bool Same(unsigned char byte, const SearchPattern& pattern, size_t k, bool fold) {
    unsigned char want = (unsigned char)pattern.bytes[k];
    bool wide = pattern.encoding == ENCODING_UTF16LE;
    bool letter =
        std::isalpha(want) && want < 0x80 && (!wide || (k % 2 == 0 && !pattern.bytes[k + 1]));
    return fold && letter ? std::tolower(byte) == std::tolower(want) : byte == want;
}

bool SameHit(const SearchHit& a, const SearchHit& b) {
    return std::memcmp(&a, &b, sizeof a) == 0; // four whole words
}

} // namespace

std::string CheckSearch(const unsigned char* bytes, const RecordIndex& index,
                        const SearchQuery& query, bool fold, std::vector<uint32_t> from,
                        size_t* count, std::vector<uint32_t> starts) {
    uint32_t length = index.Length();
    // Unless given, the records' starts, each size the little-endian word at +4.
    for (uint32_t at = 0, size, walk = starts.empty(); walk && at < length; at += 8 + size) {
        starts.push_back(at);
        std::memcpy(&size, bytes + at + 4, 4);
    }
    std::vector<SearchHit> model;
    for (uint32_t at = 0; at < length; ++at)
        for (uint32_t p = 0; p < query.patterns.size(); ++p) {
            const SearchPattern& pattern = query.patterns[p];
            bool hit = pattern.bytes.size() <= length - at;
            for (size_t k = 0; hit && k < pattern.bytes.size(); ++k)
                hit = Same(bytes[at + k], pattern, k, fold);
            uint32_t record =
                uint32_t(std::upper_bound(starts.begin(), starts.end(), at) - starts.begin() - 1);
            if (hit)
                model.push_back({at, uint32_t(pattern.bytes.size()), p, record});
        }
    Problems problems;
    HitCursor cursor(index, query);
    size_t k = 0;
    for (SearchHit hit; cursor.Next(hit) && problems.found.empty(); ++k)
        problems.Expect(k < model.size() && SameHit(hit, model[k]), "a hit differs");
    problems.Expect(k == model.size(), "hits missing");
    from.insert(from.end(), {0u, length});
    for (uint32_t at : from) {
        SearchHit next{}, previous{};
        auto after = std::find_if(model.begin(), model.end(),
                                  [at](const SearchHit& h) { return h.offset >= at; });
        auto before = std::find_if(model.rbegin(), model.rend(),
                                   [at](const SearchHit& h) { return h.offset < at; });
        problems.Expect(FindNextHit(index, query, at, next) == !model.empty() &&
                            FindPreviousHit(index, query, at, previous) == !model.empty(),
                        "next or previous found what the model did not");
        problems.Expect(model.empty() ||
                            (SameHit(next, after != model.end() ? *after : model.front()) &&
                             SameHit(previous, before != model.rend() ? *before : model.back())),
                        "next or previous differs from " + std::to_string(at));
    }
    if (count)
        *count = model.size();
    return problems.found;
}
