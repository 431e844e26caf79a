// What qefdump writes of a checked file for the dump of chosen records, the record list, the
// search and the statistics. With several files, every line starts with the file's name.
#pragma once

#include "cli/text_out.h"
#include "cli/options.h"
#include "dump/byte_search.h"
#include "dump/record_select.h"

#include <cstdint>
#include <string>

enum PrintOutcome { PRINT_DONE, PRINT_WRITE_FAILED, PRINT_NO_MEMORY };

// What each line starts with: nothing for one file; "NAME:" with several, or in JSON a "file"
// member before the others.
struct LinePrefix {
    std::string text;
    bool json = false;
};
// `shown` is the name as the text form shows it; JSON has `file` as the one JSON writer writes
// it, and where it is not UTF-8, its exact bytes as hexadecimal digits in "file_hex" too.
LinePrefix PrefixFor(const char* file, const std::string& shown, bool json, char afterName = ':');

// The dump of the selected records (all when `selection` is null), their lines exactly as in the
// whole dump; with `lineFeeds` each line ends in LF instead of CR LF.
bool PrintSelectedDump(const unsigned char* data, uint32_t length, const RecordSelection* selection,
                       Numeration mode, bool lineFeeds, TextOut& out);

bool PrintSelectedRecords(const unsigned char* data, uint32_t length,
                          const RecordSelection& selection, const LinePrefix& prefix, TextOut& out);

// A line per hit in the selected records, at most `most` of them (none written when `silent`);
// `hits` counts them. A JSON hit names its record's tag as --records --json does; with `marked`
// the text form marks the hit's bytes in its dump line.
PrintOutcome PrintHits(const RecordIndex& index, const SearchQuery& query,
                       const RecordSelection& selection, Numeration mode, const LinePrefix& prefix,
                       TextOut& out, uint64_t& hits, uint64_t most = UINT64_MAX,
                       bool silent = false, bool marked = false);
// What grep's -c, -l and -L write of a file that had `found` hits: "NAME:N" (N alone without
// `withName`), or its name and a line end (`afterName` '\0' ends it in NUL instead).
bool PrintFileReport(HitReport report, const char* name, bool withName, char afterName,
                     uint64_t found, TextOut& out);

// Per tag: its bytes, name, records and data bytes; as text a table with a header and a total.
PrintOutcome PrintTagStats(const unsigned char* data, uint32_t length,
                           const RecordSelection& selection, const LinePrefix& prefix,
                           TextOut& out);
