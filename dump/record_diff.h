// What changed between the records of two files. The search hands back change flags per
// record, never text; hunks and blocks group them for whoever shows them, a unified diff on
// the command line or a compare view.
#pragma once

#include "dump/formatter.h"
#include "dump/record_index.h"

#include <cstdint>
#include <vector>

// Two records are equal when their tags, sizes and data are. Records that are not removed or
// added pair up in order: the k-th of A with the k-th of B.
struct RecordChanges {
    std::vector<unsigned char> removed; // per record of A: 1 when it is not in B
    std::vector<unsigned char> added;   // per record of B: 1 when it is not in A

    bool Changed(uint32_t a, uint32_t b) const {
        return (a < removed.size() && removed[a]) || (b < added.size() && added[b]);
    }
    // Pairs of equal records from (a, b) on, up to `most`.
    uint32_t EqualRun(uint32_t a, uint32_t b, uint64_t most) const;
    bool Equal() const;
};

// A script of removals and additions that turns A's records into B's: as short as can be while
// the files are near alike, and bounded in time and memory for any pair. Each change is slid
// to the end of a run of equal records, so that one edit always gives the same hunks. False
// when memory ran out.
bool DiffRecords(const RecordIndex& a, const RecordIndex& b, RecordChanges& changes);

// Records [firstA, endA) of A and [firstB, endB) of B, from 0.
struct RecordRange {
    uint32_t firstA, endA, firstB, endB;
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

// Whether two records print the same dump text in `mode`: the same number, tag name, size and
// data. A removed and an added record can, when their tags differ but share a name.
bool SameDumpText(const Record& one, const Record& other, Numeration mode);
