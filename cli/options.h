// The command line of qefdump.
#pragma once

#include "dump/line_writer.h"

#include <cstdint>
#include <cstdio>

enum Task {
    TASK_DUMP,         // the dump of one file
    TASK_RECORDS,      // --records: a line per record
    TASK_RECORDS_JSON, // --records --json: a JSON object per record
    TASK_EXTRACT,      // --extract N: the data bytes of one record
    TASK_DIFF,         // --diff A B: what changed, record by record
};

struct DumpOptions {
    Task task = TASK_DUMP;
    Numeration numeration = NUMERATION_MULTI; // TASK_DUMP and TASK_DIFF
    uint32_t context = 1;                     // TASK_DIFF: equal records around each change
    uint32_t record = 0;                      // TASK_EXTRACT: from 1
    const char* inputs[2] = {};   // standard input when null or "-"; the second for TASK_DIFF
    const char* output = nullptr; // standard output when null
};

enum ParseOutcome { PARSE_RUN, PARSE_HELP, PARSE_VERSION, PARSE_USAGE_ERROR };

// Usage errors are explained on stderr before PARSE_USAGE_ERROR is returned.
ParseOutcome ParseDumpOptions(int argc, char** argv, DumpOptions& options);

void PrintHelp(std::FILE* stream);

// An input path that means standard input: none, or "-".
bool IsStandardInput(const char* path);
