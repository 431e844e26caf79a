#include "dump/byte_search.h"

#include <algorithm>
#include <bit>
#include <new>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define QEF_SEARCH_SSE2 1
#endif

namespace {

int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

bool IsAsciiLetter(unsigned char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

// The code points of UTF-8 text; false for anything that is not UTF-8 (overlong forms,
// surrogates and values past U+10FFFF included).
bool DecodeUtf8(std::string_view text, std::u32string& points) {
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = (unsigned char)text[i];
        size_t extra = lead < 0x80                   ? 0
                       : lead >= 0xC2 && lead < 0xE0 ? 1
                       : lead >= 0xE0 && lead < 0xF0 ? 2
                       : lead >= 0xF0 && lead < 0xF5 ? 3
                                                     : 4;
        if (extra == 4 || i + extra >= text.size())
            return false;
        char32_t point = extra == 0 ? lead : lead & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char next = (unsigned char)text[i + k];
            if ((next & 0xC0) != 0x80)
                return false;
            point = point << 6 | (next & 0x3F);
        }
        constexpr char32_t Least[4] = {0, 0x80, 0x800, 0x10000};
        if (point < Least[extra] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000))
            return false;
        points.push_back(point);
        i += extra + 1;
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

// Calls visit(offset) for every start in [begin, end) where `pattern` stands whole in the
// file, in order, until it returns false. Candidates are the starts whose first and last byte
// match, sixteen at a time where the processor allows; the bytes between are compared after.
template <typename Visit>
void ScanPattern(const unsigned char* data, uint32_t length, const SearchPattern& pattern,
                 uint32_t begin, uint32_t end, Visit&& visit) {
    const size_t n = pattern.bytes.size();
    if (n == 0 || n > length)
        return;
    const uint32_t stop = std::min<uint32_t>(end, uint32_t(length - n + 1));
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(pattern.bytes.data());
    const unsigned char* fold = reinterpret_cast<const unsigned char*>(pattern.fold.data());
    const unsigned char first = bytes[0] | fold[0], last = bytes[n - 1] | fold[n - 1];
    auto matches = [&](uint32_t at) {
        for (size_t k = 0; k < n; ++k)
            if ((data[at + k] | fold[k]) != (bytes[k] | fold[k]))
                return false;
        return true;
    };
    uint32_t at = begin;
#ifdef QEF_SEARCH_SSE2
    const __m128i firstWant = _mm_set1_epi8(char(first)), firstFold = _mm_set1_epi8(char(fold[0]));
    const __m128i lastWant = _mm_set1_epi8(char(last)), lastFold = _mm_set1_epi8(char(fold[n - 1]));
    for (; stop >= 16 && at <= stop - 16; at += 16) {
        __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + n - 1));
        __m128i both = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(head, firstFold), firstWant),
                                     _mm_cmpeq_epi8(_mm_or_si128(tail, lastFold), lastWant));
        for (unsigned mask = unsigned(_mm_movemask_epi8(both)); mask != 0; mask &= mask - 1) {
            unsigned bit = unsigned(std::countr_zero(mask));
            if (matches(at + bit) && !visit(at + bit))
                return;
        }
    }
#endif
    for (; at < stop; ++at)
        if ((data[at] | fold[0]) == first && (data[at + n - 1] | fold[n - 1]) == last &&
            matches(at) && !visit(at))
            return;
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
        ScanPattern(data, length, pattern, begin, end, [&](uint32_t at) {
            SearchHit hit{at, uint32_t(pattern.bytes.size()), k, 0};
            if (!found || HitBefore(hit, best) != last)
                best = hit;
            found = true;
            return last; // the first one of a pattern is its first
        });
    }
    return found;
}

// Windows of the file looked at one after another, from `begin` up to `end` or down to it.
constexpr uint32_t StepWindow = 1u << 16;

bool FirstHitIn(const unsigned char* data, uint32_t length, const SearchQuery& query,
                uint32_t begin, uint32_t end, SearchHit& hit) {
    for (uint32_t at = begin; at < end; at += std::min(StepWindow, end - at))
        if (EdgeHitIn(data, length, query, at, at + std::min(StepWindow, end - at), false, hit))
            return true;
    return false;
}

bool LastHitIn(const unsigned char* data, uint32_t length, const SearchQuery& query, uint32_t begin,
               uint32_t end, SearchHit& hit) {
    for (uint32_t at = end; at > begin; at -= std::min(StepWindow, at - begin))
        if (EdgeHitIn(data, length, query, at - std::min(StepWindow, at - begin), at, true, hit))
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

bool HitCursor::Next(SearchHit& hit) {
    constexpr uint32_t Window = 1u << 20;
    while (next_ == hits_.size() && scanned_ < length_ && !failed_) {
        uint32_t begin = scanned_;
        scanned_ += std::min(Window, length_ - scanned_);
        try {
            hits_.clear();
            next_ = 0;
            for (uint32_t k = 0; k < query_.patterns.size(); ++k) {
                uint32_t size = uint32_t(query_.patterns[k].bytes.size());
                ScanPattern(index_.Data(), length_, query_.patterns[k], begin, scanned_,
                            [&](uint32_t at) {
                                hits_.push_back({at, size, k, 0});
                                return true;
                            });
            }
            std::sort(hits_.begin(), hits_.end(), HitBefore);
        } catch (const std::bad_alloc&) {
            failed_ = true;
            hits_.clear();
        }
    }
    if (next_ == hits_.size())
        return false;
    hit = hits_[next_++];
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
