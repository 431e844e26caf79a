// One pattern's scan over a file's bytes, every start where it stands in order, in time linear
// in the file for any pattern: what the search's cursor and its next and previous steps share.
#pragma once

#include "dump/byte_search.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline bool IsAsciiLetter(unsigned char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

// One pattern's scan over the starts [at, stop), resumable, so that the hits of several patterns
// merge in order holding one of each. It begins with the quick scan (candidates whose first and
// last byte match, then compared from the start); when those comparisons cost more than a few
// times the bytes passed, the pattern is periodic or long against this data, and the scan goes
// on with the two-way search, linear in the data for any pattern.
struct PatternScan {
    const SearchPattern* pattern;
    uint32_t at, stop;
    uint64_t compared = 0; // by the quick scan, since `origin`
    uint32_t origin;
    bool twoWay = false;
    // The two-way search's state: the pattern as Canonical() bytes (its own, or `folded` when it
    // folds), its critical factorisation, whether it is periodic, and how much of its right half
    // matched at the last shift.
    std::string folded;
    bool folds = false, periodic = false;
    size_t suffix = 0, period = 0, memory = 0;
    // Where Canonical() matches more than the pattern: letters of a UTF-16LE unit of 0x80 or
    // above, compared as they are after a canonical match.
    std::vector<uint32_t> strict;

    std::string_view Canonical() const { return folds ? folded : pattern->bytes; }
};

// The scan of `pattern` over the starts [begin, end) of a file of `length` bytes.
PatternScan StartScan(const SearchPattern& pattern, uint32_t length, uint32_t begin, uint32_t end);
// The next start in the scan where the pattern stands whole, in order; false after the last.
// `data` is the file's bytes, the same at every call.
bool NextStart(const unsigned char* data, PatternScan& scan, uint32_t& start);
