// What qefdump writes of a checked file for the dump of chosen records, the record list, the
// search and the statistics. With several files, every line starts with the file's name.
#pragma once

#include "cli/text_out.h"
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
// `shown` is the name as messages show it; JSON has it as the one JSON writer writes it, and
// where it is not UTF-8, its exact bytes as hexadecimal digits in "file_hex" too.
LinePrefix PrefixFor(const char* file, const std::string& shown, bool json);

// The dump of the selected records (all when `selection` is null), their lines exactly as in the
// whole dump; with `lineFeeds` each line ends in LF instead of CR LF.
bool PrintSelectedDump(const unsigned char* data, uint32_t length, const RecordSelection* selection,
                       Numeration mode, bool lineFeeds, TextOut& out);

bool PrintSelectedRecords(const unsigned char* data, uint32_t length,
                          const RecordSelection& selection, const LinePrefix& prefix, TextOut& out);

// A line per hit in the selected records; `hits` counts them.
PrintOutcome PrintHits(const RecordIndex& index, const SearchQuery& query,
                       const RecordSelection& selection, Numeration mode, const LinePrefix& prefix,
                       TextOut& out, uint64_t& hits);

// Per tag: its bytes, name, records and data bytes; as text a table with a header and a total.
PrintOutcome PrintTagStats(const unsigned char* data, uint32_t length,
                           const RecordSelection& selection, const LinePrefix& prefix,
                           TextOut& out);
