#include "dump/pattern_scan.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define QEF_SEARCH_SSE2 1
#endif

namespace {

// The byte a data byte is compared as: ASCII capitals as small letters when the pattern folds
// any letter, so that matching is equality (the letters that must keep their case are checked
// apart, see PatternScan::strict).
unsigned char Canonical(unsigned char byte, bool folds) {
    return folds && byte >= 'A' && byte <= 'Z' ? byte | 0x20 : byte;
}

#ifdef QEF_SEARCH_SSE2
// Sixteen bytes as Canonical() reads them.
__m128i LoadCanonical(const unsigned char* bytes, bool folds) {
    __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    if (!folds)
        return raw;
    __m128i fromA = _mm_sub_epi8(raw, _mm_set1_epi8('A'));
    __m128i capital = _mm_cmpeq_epi8(_mm_max_epu8(fromA, _mm_set1_epi8(25)), _mm_set1_epi8(25));
    return _mm_or_si128(raw, _mm_and_si128(capital, _mm_set1_epi8(0x20)));
}

// A bit for each of sixteen bytes where x and the data differ.
unsigned Differ16(const unsigned char* x, const unsigned char* here, bool folds) {
    __m128i same = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x)),
                                  LoadCanonical(here, folds));
    return ~unsigned(_mm_movemask_epi8(same)) & 0xFFFF;
}
#endif

// The first k in [i, n) where the canonical pattern x and the data differ; n when none.
size_t MismatchUp(const unsigned char* x, const unsigned char* here, size_t i, size_t n,
                  bool folds) {
#ifdef QEF_SEARCH_SSE2
    for (; i + 16 <= n; i += 16)
        if (unsigned differ = Differ16(x + i, here + i, folds))
            return i + size_t(std::countr_zero(differ));
#endif
    while (i < n && x[i] == Canonical(here[i], folds))
        ++i;
    return i;
}

// Going down from i to `floor`: the k where x and the data differ at k - 1; `floor` when none.
size_t MismatchDown(const unsigned char* x, const unsigned char* here, size_t i, size_t floor,
                    bool folds) {
#ifdef QEF_SEARCH_SSE2
    for (; i >= floor + 16; i -= 16)
        if (unsigned differ = Differ16(x + i - 16, here + i - 16, folds))
            return i - 16 + size_t(std::bit_width(differ));
#endif
    while (i > floor && x[i - 1] == Canonical(here[i - 1], folds))
        --i;
    return i;
}

// The first p in [from, to) whose byte reads as `byte` for Canonical(); `to` when none.
size_t FindCanonical(const unsigned char* data, size_t from, size_t to, unsigned char byte,
                     bool folds) {
#ifdef QEF_SEARCH_SSE2
    const __m128i want = _mm_set1_epi8(char(byte));
    for (; from + 16 <= to; from += 16)
        if (unsigned mask = unsigned(
                _mm_movemask_epi8(_mm_cmpeq_epi8(LoadCanonical(data + from, folds), want))))
            return from + size_t(std::countr_zero(mask));
#endif
    while (from < to && Canonical(data[from], folds) != byte)
        ++from;
    return from;
}

// How many bytes of the data from `here` match the pattern's from the start, its folded
// letters in either case.
size_t MatchingBytes(const unsigned char* here, const SearchPattern& pattern) {
    const size_t n = pattern.bytes.size();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(pattern.bytes.data());
    const unsigned char* fold = reinterpret_cast<const unsigned char*>(pattern.fold.data());
    size_t k = 0;
#ifdef QEF_SEARCH_SSE2
    auto load = [](const unsigned char* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    for (; k + 16 <= n; k += 16) {
        __m128i folds = load(fold + k);
        __m128i same = _mm_cmpeq_epi8(_mm_or_si128(load(here + k), folds),
                                      _mm_or_si128(load(bytes + k), folds));
        if (unsigned differ = ~unsigned(_mm_movemask_epi8(same)) & 0xFFFF)
            return k + size_t(std::countr_zero(differ));
    }
#endif
    while (k < n && (here[k] | fold[k]) == (bytes[k] | fold[k]))
        ++k;
    return k;
}

// The critical factorisation of x (Crochemore and Perrin): the start of its right half, the
// longer of the maximal suffixes for the byte order and for its reverse, and in `period` the
// period of that suffix. Linear in x's length.
size_t MaximalSuffix(std::string_view x, bool reverse, size_t& period) {
    size_t suffix = SIZE_MAX, j = 0, k = 1;
    period = 1;
    while (j + k < x.size()) {
        unsigned char a = x[j + k], b = x[suffix + k];
        if (reverse ? b < a : a < b) {
            j += k;
            k = 1;
            period = j - suffix;
        } else if (a == b) {
            // What follows is x[t] against x[t - period] until they differ (the suffix so far
            // has that period), with j stepping by the period: found sixteen bytes at a time.
            const unsigned char* bytes = reinterpret_cast<const unsigned char*>(x.data());
            size_t t = j + k;
            t += MismatchUp(bytes + t, bytes + t - period, 0, x.size() - t, false);
            j += period * ((t - j - 1) / period);
            k = t - j;
        } else {
            suffix = j++;
            k = period = 1;
        }
    }
    return suffix + 1;
}

void StartTwoWay(PatternScan& scan) {
    const SearchPattern& pattern = *scan.pattern;
    scan.folds = pattern.fold.find('\x20') != std::string::npos;
    if (scan.folds) {
        scan.folded = pattern.bytes;
        for (size_t k = 0; k < pattern.bytes.size(); ++k) {
            unsigned char byte = (unsigned char)pattern.bytes[k];
            scan.folded[k] = char(Canonical(byte, true));
            if (!pattern.fold[k] && IsAsciiLetter(byte))
                scan.strict.push_back(uint32_t(k));
        }
    }
    std::string_view x = scan.Canonical();
    size_t period, reversePeriod;
    size_t suffix = MaximalSuffix(x, false, period);
    size_t reverse = MaximalSuffix(x, true, reversePeriod);
    if (reverse >= suffix)
        suffix = reverse, period = reversePeriod;
    scan.suffix = suffix;
    scan.periodic = suffix + period <= x.size() && x.substr(0, suffix) == x.substr(period, suffix);
    // Without a period of the whole, the halves tell a shift after a match that skips no hit.
    scan.period = scan.periodic ? period : std::max(suffix, x.size() - suffix) + 1;
    scan.memory = 0;
    scan.twoWay = true;
}

// The two-way search from scan.at: the right half compared left to right, a mismatch there
// shifting past what matched; then the left half, whose mismatch or match shifts by the period
// (and, for a periodic pattern, remembers the matched repetitions, so no byte is read twice).
bool TwoWayNext(const unsigned char* data, PatternScan& scan, uint32_t& start) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(scan.Canonical().data());
    const size_t n = scan.Canonical().size();
    while (scan.at < scan.stop) {
        // A mismatch at the right half's first byte shifts by one: go straight to where the
        // data holds that byte.
        if (scan.memory == 0)
            scan.at = uint32_t(FindCanonical(data, scan.at + scan.suffix, scan.stop + scan.suffix,
                                             x[scan.suffix], scan.folds) -
                               scan.suffix);
        if (scan.at >= scan.stop)
            break;
        const unsigned char* here = data + scan.at;
        size_t i = MismatchUp(x, here, std::max(scan.suffix, scan.memory), n, scan.folds);
        if (i < n) {
            scan.at += uint32_t(i - scan.suffix + 1);
            scan.memory = 0;
            continue;
        }
        size_t floor = scan.memory;
        i = MismatchDown(x, here, scan.suffix, floor, scan.folds);
        bool found =
            i <= floor && std::all_of(scan.strict.begin(), scan.strict.end(), [&](uint32_t k) {
                return here[k] == (unsigned char)scan.pattern->bytes[k];
            });
        start = scan.at;
        scan.at += uint32_t(scan.period);
        scan.memory = scan.periodic ? n - scan.period : 0;
        if (found)
            return true;
    }
    return false;
}

} // namespace

PatternScan StartScan(const SearchPattern& pattern, uint32_t length, uint32_t begin, uint32_t end) {
    size_t n = pattern.bytes.size();
    uint32_t stop = n == 0 || n > length ? 0 : std::min<uint32_t>(end, uint32_t(length - n + 1));
    PatternScan scan;
    scan.pattern = &pattern;
    scan.at = std::min(begin, stop);
    scan.stop = stop;
    scan.origin = scan.at;
    return scan;
}

bool NextStart(const unsigned char* data, PatternScan& scan, uint32_t& start) {
    if (scan.at >= scan.stop || scan.twoWay)
        return TwoWayNext(data, scan, start);
    const SearchPattern& pattern = *scan.pattern;
    const size_t n = pattern.bytes.size();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(pattern.bytes.data());
    const unsigned char* fold = reinterpret_cast<const unsigned char*>(pattern.fold.data());
    const unsigned char first = bytes[0] | fold[0], last = bytes[n - 1] | fold[n - 1];
    // True when the candidate matches; counts the bytes compared, and switches to the two-way
    // search when they pass four times the starts passed (and a margin that short runs of
    // partial matches never reach).
    auto verify = [&](uint32_t at) {
        size_t k = MatchingBytes(data + at, pattern);
        scan.at = at + 1;
        scan.compared += k + 1;
        if (k < n && scan.compared > 4 * uint64_t(scan.at - scan.origin) + 256)
            StartTwoWay(scan);
        return k == n;
    };
    uint32_t& at = scan.at;
    const uint32_t stop = scan.stop;
#ifdef QEF_SEARCH_SSE2
    const __m128i firstWant = _mm_set1_epi8(char(first)), firstFold = _mm_set1_epi8(char(fold[0]));
    const __m128i lastWant = _mm_set1_epi8(char(last)), lastFold = _mm_set1_epi8(char(fold[n - 1]));
    while (!scan.twoWay && stop >= 16 && at <= stop - 16) {
        __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + n - 1));
        __m128i both = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(head, firstFold), firstWant),
                                     _mm_cmpeq_epi8(_mm_or_si128(tail, lastFold), lastWant));
        unsigned mask = unsigned(_mm_movemask_epi8(both));
        if (mask == 0) {
            at += 16;
            continue;
        }
        uint32_t candidate = at + uint32_t(std::countr_zero(mask));
        if (verify(candidate)) {
            start = candidate;
            return true;
        }
    }
#endif
    while (!scan.twoWay && at < stop) {
        uint32_t candidate = at;
        if ((data[at] | fold[0]) != first || (data[at + n - 1] | fold[n - 1]) != last) {
            ++at;
        } else if (verify(candidate)) {
            start = candidate;
            return true;
        }
    }
    return scan.twoWay && TwoWayNext(data, scan, start);
}
