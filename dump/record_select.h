// Which records a query looks at, by number and by tag, and what the chosen records are made of:
// per tag, how many records and data bytes.
#pragma once

#include "dump/line_writer.h"
#include "dump/records.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct RecordSelection {
    uint32_t first = 1, last = UINT32_MAX; // record numbers from 1, both included
    enum { ANY_TAG, TAG_VALUE, TAG_NAME } by = ANY_TAG;
    uint32_t tag = 0; // TAG_VALUE: as the header holds it
    std::string name; // TAG_NAME: without the padding, as --records --json writes it

    bool Selects(const Record& record) const;
};

// "N" or "N-M", from 1, N <= M. False for anything else.
bool ParseRecordRange(std::string_view text, RecordSelection& selection);
// A tag's name ("MI_VERSION") or its four bytes in file order as eight hexadecimal digits
// ("0A566572"). False for a name no tag has.
bool ParseTagChoice(std::string_view text, RecordSelection& selection);

// Calls visit(const DumpRun&) for each run of consecutive selected records of the file, in order:
// their lines are those of the whole dump, numbered as there. Stops where the chain breaks or
// visit returns false.
template <typename Visit>
RecordWalk ForEachSelectedRun(const unsigned char* data, uint32_t length,
                              const RecordSelection& selection, Visit&& visit) {
    DumpRun run{data, 0, {}, 0};
    bool open = false, going = true;
    RecordWalk walk = WalkRecords(data, length, {}, [&](const Record& record) {
        if (record.Number() > selection.last)
            return false;
        if (selection.Selects(record)) {
            if (!open)
                run.from = record.at;
            run.end = record.Next().offset;
            open = true;
        } else if (open) {
            open = false;
            going = visit(run);
        }
        return going;
    });
    if (open && going)
        visit(run);
    return walk;
}

struct TagCount {
    uint32_t tag;
    uint32_t records;
    uint64_t bytes; // data bytes, headers left out
};

// Per tag of the selected records, in the order the tags first appear. False when memory ran
// out or the chain breaks before the selection's end.
bool CountTags(const unsigned char* data, uint32_t length, const RecordSelection& selection,
               std::vector<TagCount>& counts);
