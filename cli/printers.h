// What qefdump writes of checked files: a record's data and the
// diff. Each returns false when writing failed.
#pragma once

#include "cli/text_out.h"
#include "dump/diff_hunks.h"

#include <cstdint>

// Record `number` (from 1), or false when the file has fewer; `count` then says how many.
bool FindRecord(const unsigned char* data, uint32_t length, uint32_t number, Record& record,
                uint32_t& count);
bool PrintRecordData(const Record& record, TextOut& out);

struct DiffFile {
    const char* name; // shown on the "---" or "+++" line
    const RecordIndex& index;
};

// The changes as a unified diff of the two dumps with LF line ends: hunk headers count lines,
// followed by the hunk's records and the tags of look-alike pairs.
bool PrintDiff(const DiffFile& a, const DiffFile& b, const RecordChanges& changes, Numeration mode,
               uint32_t context, TextOut& out);
