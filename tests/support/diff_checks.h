// The rules every record diff must keep, for the tests and the fuzz target: each check gives
// back what went wrong, or nothing.
#pragma once

#include "dump/record_diff.h"

#include <string>

// Diffs A and B and holds the result against what any script must be: the records it keeps
// equal pair by pair, each run of changes slid to the end of the equal records after it, hunks
// with `context` equal records around their changes and blocks that tile them; and, with
// `shortest`, no longer than the longest common subsequence of the records allows.
std::string CheckDiff(const RecordIndex& a, const RecordIndex& b, uint32_t context, bool shortest);
