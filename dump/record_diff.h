// What changed between the records of two files. The search hands back change flags per
// record, never text; dump/diff_hunks.h groups them for whoever shows them, a unified diff on
// the command line or a compare view.
#pragma once

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

// How the data of a changed record and the one in its place differ over the bytes both have
// (the shorter one's): how many differ, and the first that does (0 when none).
struct DataDifference {
    uint32_t common;
    uint32_t differ;
    uint32_t first;
};
DataDifference CompareRecordData(const Record& a, const Record& b);
