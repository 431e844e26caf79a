// The command line of qefdump.
#pragma once

#include "dump/formatter.h"

#include <cstdio>

struct DumpOptions {
    Numeration numeration = NUMERATION_MULTI;
    bool listRecords = false;
    const char* input = nullptr;  // standard input when null
    const char* output = nullptr; // standard output when null
};

enum ParseOutcome { PARSE_RUN, PARSE_HELP, PARSE_VERSION, PARSE_USAGE_ERROR };

// Usage errors are explained on stderr before PARSE_USAGE_ERROR is returned.
ParseOutcome ParseDumpOptions(int argc, char** argv, DumpOptions& options);

void PrintHelp(std::FILE* stream);
