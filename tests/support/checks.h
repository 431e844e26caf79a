// The rules every dump run and every record diff must keep, for the tests and the fuzz targets.
// Each check gives back what went wrong, or nothing.
#pragma once

#include "dump/byte_search.h"
#include "dump/diff_hunks.h"
#include "dump/salvage.h"
#include "tests/support/recording_target.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// What a check found wrong, each finding ended by "; ".
struct Problems {
    void Expect(bool ok, const std::string& what) { found += ok ? "" : what + "; "; }
    std::string found;
};

// For the fuzz targets: a check's findings end the run, and libFuzzer keeps the input.
inline void Require(const std::string& problems) {
    if (!problems.empty()) {
        std::fprintf(stderr, "fuzz check failed: %s\n", problems.c_str());
        std::abort();
    }
}

// One FormatModuleInfo run: the model's text and progress, or exactly the right message and the
// text left alone; the output, if reserved, released once; a target fault adds its own effect.
std::string CheckFormat(const unsigned char* bytes, uint32_t length, Numeration mode,
                        TargetFaults faults = {});

// PlanDump, and WriteDumpLines with every data-column writer through a sink and a buffer of
// `capacity` bytes, against the model; then a sink that gives up at its call `refuseAt` (0:
// never) and the same buffer without a sink, which must both stop after whole lines.
std::string CheckWalk(const unsigned char* bytes, uint32_t length, Numeration mode, size_t capacity,
                      size_t refuseAt);

// The index of a file against the model: its counts and where the records that fit end; for a
// whole file, runs of the dump that start at chosen lines and records, which must be the model's
// lines there.
std::string CheckRuns(const unsigned char* bytes, uint32_t length, Numeration mode);

// Diffs A and B and holds the result against what any script must be: the records it keeps
// equal pair by pair, each run of changes slid to the end of the equal records after it, hunks
// with `context` equal records around their changes and blocks that tile them; and, with
// `shortest`, no longer than the longest common subsequence of the records allows.
std::string CheckDiff(const RecordIndex& a, const RecordIndex& b, uint32_t context, bool shortest);

// Every hit of the cursor, and the next and previous from each offset of `from`, 0 and the end,
// against a comparison at every offset (letters in either case with `fold`) and the records found
// by walking their headers, or the pieces of the index from `starts`; `count` gets the number of
// hits.
std::string CheckSearch(const unsigned char* bytes, const RecordIndex& index,
                        const SearchQuery& query, bool fold, std::vector<uint32_t> from,
                        size_t* count = nullptr, std::vector<uint32_t> starts = {});

// The salvage of `length` bytes: every byte in exactly one record run or damaged region, the
// regions never side by side, each run a chain the ordinary walk takes whole, the numbers, lines
// and damaged bytes counted on from span to span, and a whole chain left as it is.
std::string CheckSalvage(const unsigned char* data, uint32_t length, const Salvage& salvage);
