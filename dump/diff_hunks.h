// How a record diff is shown, by qefdump's unified diff and the page's compare view alike: the
// changes grouped into hunks and blocks, the names of record ranges, and a block's dump lines
// marked as a diff marks them.
#pragma once

#include "dump/record_diff.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Records [firstA, endA) of A and [firstB, endB) of B, from 0.
struct RecordRange {
    uint32_t firstA, endA, firstB, endB;

    uint32_t First(bool inB) const { return inB ? firstB : firstA; }
    uint32_t End(bool inB) const { return inB ? endB : endA; }
};

// The changes of a diff, one hunk at a time: each with up to `context` equal records before
// and after it, changes closer than twice that joined.
class DiffHunks {
  public:
    DiffHunks(const RecordChanges& changes, uint32_t context)
        : changes_(changes), context_(context) {}
    bool Next(RecordRange& hunk);

  private:
    const RecordChanges& changes_;
    uint32_t context_;
    uint32_t a_ = 0, b_ = 0; // where the last hunk ended
};

// The block of a hunk that starts at (a, b): records equal in both, as many on each side, or a
// change: A's records removed, then B's added (either part may be empty).
struct DiffBlock {
    bool changed;
    RecordRange records;
};
DiffBlock BlockAt(const RecordChanges& changes, const RecordRange& hunk, uint32_t a, uint32_t b);

// The blocks of a hunk, in order.
class HunkBlocks {
  public:
    HunkBlocks(const RecordChanges& changes, const RecordRange& hunk)
        : changes_(changes), hunk_(hunk), a_(hunk.firstA), b_(hunk.firstB) {}
    bool Next(DiffBlock& block);

  private:
    const RecordChanges& changes_;
    RecordRange hunk_;
    uint32_t a_, b_; // where the next block starts
};

// Whether two records print the same dump text in `mode`: the same number, tag name, size and
// data. A removed and an added record can, when their tags differ but share a name.
bool SameDumpText(const Record& one, const Record& other, Numeration mode);

// "none", "5" or "5-7": records [first, end) counted from 1, as a hunk names them.
std::string RecordsText(uint32_t first, uint32_t end);

// A diff line's marker: in both files, only in A, only in B.
enum DiffMarker : char { MARK_SAME = ' ', MARK_REMOVED = '-', MARK_ADDED = '+' };

// Where marked lines go: room for `bytes` more (at most 64 lines), or nullptr to stop.
class MarkedLineRoom {
  public:
    virtual char* Room(size_t bytes) = 0;

  protected:
    ~MarkedLineRoom() = default;
};

// Lines [skip, skip + most) of the dump of records [first, end) of `file`, numbered as in its
// whole dump, each as a diff shows it: the marker in front of the line's text and LF for its
// CR LF, DumpLineLength bytes still. False when `room` gave out first.
bool WriteMarkedLines(const RecordIndex& file, uint32_t first, uint32_t end, uint32_t skip,
                      uint32_t most, DiffMarker marker, Numeration mode, MarkedLineRoom& room);
