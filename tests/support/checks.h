// The rules every dump run and every record diff must keep, for the tests and the fuzz targets.
// Each check gives back what went wrong, or nothing.
#pragma once

#include "dump/diff_hunks.h"
#include "tests/support/recording_target.h"

#include <cstdio>
#include <cstdlib>
#include <string>

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
