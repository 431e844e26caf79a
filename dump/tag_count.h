// What the chosen records of a file are made of: per tag, how many records and data bytes, and
// where the tag first appears.
#pragma once

#include "dump/record_select.h"

#include <cstdint>
#include <vector>

struct TagCount {
    uint32_t tag;
    uint32_t first; // the first selected record of the tag, from 0
    uint32_t records;
    uint64_t bytes; // data bytes, headers left out
};

// Per tag of the selected records, in the order the tags first appear. False when memory ran
// out or the chain breaks before the selection's end.
bool CountTags(const unsigned char* data, uint32_t length, const RecordSelection& selection,
               std::vector<TagCount>& counts);
