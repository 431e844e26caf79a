// The record list, the search and the statistics over one file or several, as grep goes over
// files.
#pragma once

#include "cli/door.h"

#include <vector>

// Each file is read and checked, a refused one is told and the others still run, and with
// several every line starts with the file's name. Files are worked on by several threads, a few
// at a time, and written in their order. OUT, cleared against all of them before, is opened at
// the first accepted file, so that when none is, it is left as it was. The status is the highest
// any file gave; for the search, grep's: 2 on any trouble, else 0 when something was found,
// else 1.
int RunEachFile(const DumpOptions& options, std::vector<OpenedInput>& inputs,
                const Destination& destination);
