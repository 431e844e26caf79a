// Search of a file's bytes, headers and data alike, across record boundaries: every start
// position, overlapping hits included. A query is a few patterns (bytes given as hex, a text as
// given, its UTF-16LE form), each found apart; hits come back in the order of their offsets.
#pragma once

#include "dump/record_index.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the user typed a pattern as: the hit's "encoding".
enum PatternEncoding { ENCODING_HEX, ENCODING_TEXT, ENCODING_UTF16LE };

struct SearchPattern {
    std::string bytes;
    // Per byte: 0x20 where the byte is an ASCII letter to be matched in either case, else 0;
    // a data byte b matches a pattern byte p when (b | fold) == (p | fold).
    std::string fold;
    PatternEncoding encoding;
    uint32_t given = 0; // from 0: which of the patterns the user gave (a text can give two)
};

struct SearchQuery {
    std::vector<SearchPattern> patterns; // none: the query finds nothing
};

struct SearchHit {
    uint32_t offset;
    uint32_t length;
    uint32_t pattern; // index into the query's patterns
    uint32_t record;  // from 0: the record whose header or data holds the first byte
};

// "4D 6F 64", "4d6f64": pairs of hexadecimal digits, either case, blanks anywhere between the
// pairs. False when anything else is there, a digit is left over or no byte is given.
bool ParseHexPattern(std::string_view text, SearchQuery& query);

// The text's bytes as given and, with `utf16`, its UTF-16LE form too; `ignoreCase` matches ASCII
// letters in either case. False for an empty text, or, with `utf16`, one that is not UTF-8.
bool MakeTextQuery(std::string_view text, bool ignoreCase, bool utf16, SearchQuery& query);

struct PatternScan;

// Every hit of `query` in the records of `index`, one after another in the order of their
// offsets (and of the patterns, for hits at one offset). Each pattern is scanned on from its
// last hit, so memory stays small whatever the file holds, and the time is linear in the file
// for any pattern.
class HitCursor {
  public:
    HitCursor(const RecordIndex& index, const SearchQuery& query);
    ~HitCursor();

    // False after the last hit, or when memory ran out (then Failed()).
    bool Next(SearchHit& hit);
    bool Failed() const { return failed_; }

  private:
    void Refill(size_t k);

    const RecordIndex& index_;
    const SearchQuery& query_;
    uint32_t record_ = 0; // of the last hit
    std::vector<PatternScan> scans_;
    std::vector<uint32_t> pending_; // each pattern's next start, UINT32_MAX after its last
    bool failed_ = false;
};

// The first hit at or after `from`, or else the first of the file (wrapping); false when there
// is none. The last hit before `from`, or else the last of the file, for the other way.
bool FindNextHit(const RecordIndex& index, const SearchQuery& query, uint32_t from, SearchHit& hit);
bool FindPreviousHit(const RecordIndex& index, const SearchQuery& query, uint32_t from,
                     SearchHit& hit);
