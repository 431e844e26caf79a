// What changed between two module-info files, record by record: a unified diff whose lines
// are the records' dump lines.
#pragma once

#include "dump/formatter.h"

#include <cstdint>

struct DiffSide {
    const char* name; // shown on the "---" or "+++" line
    const unsigned char* data;
    uint32_t length; // the chain has been checked
};

enum DiffOutcome { DIFF_EQUAL, DIFF_DIFFERENT, DIFF_WRITE_FAILED, DIFF_NO_MEMORY };

// Two records are equal when their tags, sizes and data are. Nothing is written when the
// record sequences are equal; `context` equal records surround each change.
DiffOutcome WriteRecordDiff(const DiffSide& a, const DiffSide& b, Numeration mode, uint32_t context,
                            DumpLineSink& sink);
