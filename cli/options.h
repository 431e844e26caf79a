// The command line of qefdump.
#pragma once

#include "dump/formatter.h"

#include <cstdint>
#include <cstdio>

struct DumpOptions {
    Numeration numeration = NUMERATION_MULTI;
    bool listRecords = false;
    bool json = false;           // the record list as JSON Lines
    bool diff = false;           // compare `input` with `secondInput`
    uint32_t context = 1;        // equal records around each change of a diff
    uint32_t extract = 0;        // the record whose data to write (from 1); 0 for none
    const char* input = nullptr; // standard input when null
    const char* secondInput = nullptr;
    const char* output = nullptr; // standard output when null
};

enum ParseOutcome { PARSE_RUN, PARSE_HELP, PARSE_VERSION, PARSE_USAGE_ERROR };

// Usage errors are explained on stderr before PARSE_USAGE_ERROR is returned.
ParseOutcome ParseDumpOptions(int argc, char** argv, DumpOptions& options);

void PrintHelp(std::FILE* stream);

// An input path that means standard input: none, or "-".
bool IsStandardInput(const char* path);
