#include "dump/byte_search.h"

#include "dump/pattern_scan.h"
#include "dump/utf8.h"

#include <algorithm>
#include <new>

namespace {

int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// The code points of UTF-8 text; false for anything that is not UTF-8.
bool DecodeUtf8(std::string_view text, std::u32string& points) {
    for (size_t at = 0; at < text.size();) {
        Utf8Char read = DecodeUtf8At(text, at);
        if (read.length == 0)
            return false;
        points.push_back(read.point);
        at += read.length;
    }
    return true;
}

void AppendUnit(std::string& bytes, char32_t unit) {
    bytes.push_back(char(unit & 0xFF));
    bytes.push_back(char(unit >> 8));
}

SearchPattern MakePattern(std::string bytes, bool ignoreCase, PatternEncoding encoding) {
    std::string fold(bytes.size(), '\0');
    for (size_t k = 0; k < bytes.size(); ++k)
        // In UTF-16LE only the low byte of a unit below 0x80 is a letter.
        if (ignoreCase && IsAsciiLetter((unsigned char)bytes[k]) &&
            (encoding != ENCODING_UTF16LE || (k % 2 == 0 && bytes[k + 1] == '\0')))
            fold[k] = 0x20;
    return {std::move(bytes), std::move(fold), encoding};
}

bool HitBefore(const SearchHit& a, const SearchHit& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.pattern < b.pattern;
}

// The first (or, with `last`, the last) hit that starts in [begin, end).
bool EdgeHitIn(const unsigned char* data, uint32_t length, const SearchQuery& query, uint32_t begin,
               uint32_t end, bool last, SearchHit& best) {
    bool found = false;
    for (uint32_t k = 0; k < query.patterns.size(); ++k) {
        const SearchPattern& pattern = query.patterns[k];
        PatternScan scan = StartScan(pattern, length, begin, end);
        for (uint32_t at; NextStart(data, scan, at);) {
            SearchHit hit{at, uint32_t(pattern.bytes.size()), k, 0};
            if (!found || HitBefore(hit, best) != last)
                best = hit;
            found = true;
            if (!last)
                break; // the first one of a pattern is its first
        }
    }
    return found;
}

// Windows of the file looked at one after another, from `begin` up to `end` or down to it; no
// smaller than the longest pattern, so that reading past a window's end costs at most a window.
uint32_t StepWindow(const SearchQuery& query) {
    uint32_t window = 1u << 16;
    for (const SearchPattern& pattern : query.patterns)
        window = std::max(window, uint32_t(pattern.bytes.size()));
    return window;
}

bool FirstHitIn(const unsigned char* data, uint32_t length, const SearchQuery& query,
                uint32_t begin, uint32_t end, SearchHit& hit) {
    const uint32_t step = StepWindow(query);
    for (uint32_t at = begin; at < end; at += std::min(step, end - at))
        if (EdgeHitIn(data, length, query, at, at + std::min(step, end - at), false, hit))
            return true;
    return false;
}

bool LastHitIn(const unsigned char* data, uint32_t length, const SearchQuery& query, uint32_t begin,
               uint32_t end, SearchHit& hit) {
    const uint32_t step = StepWindow(query);
    for (uint32_t at = end; at > begin; at -= std::min(step, at - begin))
        if (EdgeHitIn(data, length, query, at - std::min(step, at - begin), at, true, hit))
            return true;
    return false;
}

} // namespace

bool ParseHexPattern(std::string_view text, SearchQuery& query) {
    std::string bytes;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == ' ' || text[i] == '\t') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || HexDigit(text[i]) < 0 || HexDigit(text[i + 1]) < 0)
            return false;
        bytes.push_back(char(HexDigit(text[i]) << 4 | HexDigit(text[i + 1])));
        i += 2;
    }
    if (bytes.empty())
        return false;
    query.patterns = {MakePattern(std::move(bytes), false, ENCODING_HEX)};
    return true;
}

bool MakeTextQuery(std::string_view text, bool ignoreCase, bool utf16, SearchQuery& query) {
    std::u32string points;
    if (text.empty() || (utf16 && !DecodeUtf8(text, points)))
        return false;
    query.patterns = {MakePattern(std::string(text), ignoreCase, ENCODING_TEXT)};
    if (utf16) {
        std::string wide;
        for (char32_t point : points) {
            if (point < 0x10000) {
                AppendUnit(wide, point);
            } else {
                AppendUnit(wide, 0xD800 + ((point - 0x10000) >> 10));
                AppendUnit(wide, 0xDC00 + ((point - 0x10000) & 0x3FF));
            }
        }
        query.patterns.push_back(MakePattern(std::move(wide), ignoreCase, ENCODING_UTF16LE));
    }
    return true;
}

HitCursor::HitCursor(const RecordIndex& index, const SearchQuery& query)
    : index_(index), query_(query) {
    try {
        for (const SearchPattern& pattern : query.patterns) {
            scans_.push_back(StartScan(pattern, index.Length(), 0, index.Length()));
            pending_.push_back(0);
        }
        for (size_t k = 0; k < scans_.size(); ++k)
            Refill(k);
    } catch (const std::bad_alloc&) {
        failed_ = true;
    }
}

HitCursor::~HitCursor() = default;

void HitCursor::Refill(size_t k) {
    if (!NextStart(index_.Data(), scans_[k], pending_[k]))
        pending_[k] = UINT32_MAX; // past any start
}

bool HitCursor::Next(SearchHit& hit) {
    if (failed_)
        return false;
    size_t best = 0;
    for (size_t k = 1; k < pending_.size(); ++k)
        if (pending_[k] < pending_[best])
            best = k;
    if (pending_.empty() || pending_[best] == UINT32_MAX)
        return false;
    hit = {pending_[best], uint32_t(query_.patterns[best].bytes.size()), uint32_t(best), 0};
    try {
        Refill(best);
    } catch (const std::bad_alloc&) {
        failed_ = true; // the hit is still true; the next call says the search ended early
    }
    while (index_.Offset(record_ + 1) <= hit.offset)
        ++record_;
    hit.record = record_;
    return true;
}

bool FindNextHit(const RecordIndex& index, const SearchQuery& query, uint32_t from,
                 SearchHit& hit) {
    const unsigned char* data = index.Data();
    uint32_t length = index.Length();
    from = std::min(from, length);
    bool found = FirstHitIn(data, length, query, from, length, hit) ||
                 FirstHitIn(data, length, query, 0, from, hit);
    if (found)
        hit.record = index.RecordAtOffset(hit.offset);
    return found;
}

bool FindPreviousHit(const RecordIndex& index, const SearchQuery& query, uint32_t from,
                     SearchHit& hit) {
    const unsigned char* data = index.Data();
    uint32_t length = index.Length();
    from = std::min(from, length);
    bool found = LastHitIn(data, length, query, 0, from, hit) ||
                 LastHitIn(data, length, query, from, length, hit);
    if (found)
        hit.record = index.RecordAtOffset(hit.offset);
    return found;
}
