// Which records a query looks at, by number and by tag.
#pragma once

#include "dump/line_writer.h"
#include "dump/records.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A record is chosen when one of the ranges holds its number and one of the tags is its own;
// no ranges take every number, no tags every tag. Repeated options add to the lists.
struct RecordSelection {
    struct Range {
        uint32_t first, last; // record numbers from 1, both included
    };
    struct Tag {
        bool byName;
        uint32_t tag;     // !byName: as the header holds it
        std::string name; // byName: without the padding, as --records --json writes it
    };
    std::vector<Range> ranges;
    std::vector<Tag> tags;
    uint32_t last = UINT32_MAX; // the last record any range takes: a walk stops past it

    bool Selects(const Record& record) const;
    // The largest first record of the ranges; 0 without ranges.
    uint32_t LatestStart() const;
};

// Whether the name of `tag`, as the record list shows it (without its padding), is `text` in
// any ASCII case, or with `part` holds it anywhere: --tag names a whole tag, the page's Find by
// tag name looks for part of one.
bool TagNameMatches(uint32_t tag, std::string_view text, bool part);

// Ranges split by commas, each "N", "N-M", "N-" (to the last record) or "-M" (from the first),
// numbers from 1 and N <= M, added to the selection; an M past 32 bits stops at the last record
// as any does. False for anything else, and the selection is then as it was.
bool ParseRecordRanges(std::string_view text, RecordSelection& selection);
// A tag's name ("MI_VERSION") or its four bytes in file order as eight hexadecimal digits
// ("0A566572"), added to the selection. False for a name no tag has.
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
