// The command line of qefdump.
#pragma once

#include "cli/hit_marks.h"
#include "dump/byte_search.h"
#include "dump/line_writer.h"
#include "dump/record_select.h"

#include <cstdint>
#include <climits>
#include <cstdio>
#include <span>
#include <vector>

enum Task {
    TASK_DUMP,         // the dump of one file
    TASK_RECORDS,      // --records: a line per record
    TASK_RECORDS_JSON, // --records --json: a JSON object per record
    TASK_EXTRACT,      // --extract N: the data bytes of one record
    TASK_DIFF,         // --diff A B: what changed, record by record
    TASK_FIND,         // --find TEXT, --find-hex BYTES: a line per hit
    TASK_FIND_JSON,    // --find --json: a JSON object per hit
    TASK_STATS,        // --stats: a table of the tags
    TASK_STATS_JSON,   // --stats --json: a JSON object per tag
    TASK_REPAIR,       // --repair: the intact records of a damaged file as a file
};

// What each task takes besides -o: the numeration, the context, and how many files. `name` is
// the options that choose it, as usage errors and the tests name it ("the dump" for none).
struct TaskRule {
    Task task;
    const char* name;
    bool numeration;
    bool context;
    int files;
};

constexpr int AnyNumber = INT_MAX;

// Every task the command line knows, in the order of Task; the options are checked against it.
std::span<const TaskRule> TaskList();

// What --find reports of each file: its hits, or as grep's -c, -l, -L and -q do.
enum HitReport { REPORT_HITS, REPORT_COUNT, REPORT_FILES_WITH, REPORT_FILES_WITHOUT, REPORT_QUIET };

struct DumpOptions {
    Task task = TASK_DUMP;
    Numeration numeration = NUMERATION_MULTI; // TASK_DUMP and TASK_DIFF
    uint32_t context = 1;                     // TASK_DIFF: equal records around each change
    uint32_t record = 0;                      // TASK_EXTRACT: from 1
    // Standard input when null or "-"; two for TASK_DIFF, any number for the record list, the
    // search and the statistics.
    std::vector<const char*> inputs;
    const char* output = nullptr; // standard output when null
    SearchQuery query;            // TASK_FIND
    RecordSelection selection;    // the dump, the record list, the search and the statistics
    bool selected = false;        // --record or --tag given
    bool lineFeeds = false;       // --lf: the dump's lines end in LF alone
    HitReport report = REPORT_HITS;
    uint64_t mostHits = UINT64_MAX;  // -m: of each file
    int names = -1;                  // -H 1, -h 0; else whether there are several files
    char afterName = ':';            // --null: '\0'
    ColorChoice color = COLOR_NEVER; // --color: whether the text form marks each hit's bytes
    bool salvage = false;            // --salvage, or --repair: a damaged file shown as it survives
    const char* signature = nullptr; // --signature: TASK_REPAIR's text when the file's is lost
    bool recursive = false;          // -r: folders give the files in them
    unsigned threads = 0;            // --threads: files worked on at once; 0 for the processors

    const char* Input(size_t k) const { return k < inputs.size() ? inputs[k] : nullptr; }
};

enum ParseOutcome { PARSE_RUN, PARSE_HELP, PARSE_VERSION, PARSE_USAGE_ERROR };

// Usage errors are explained on stderr before PARSE_USAGE_ERROR is returned.
ParseOutcome ParseDumpOptions(int argc, char** argv, DumpOptions& options);

void PrintHelp(std::FILE* stream);

// An input path that means standard input: none, or "-".
bool IsStandardInput(const char* path);
