// The rules every dump run must keep, checked against the model, for the tests and the fuzz
// target. Each check gives back what went wrong, or nothing.
#pragma once

#include "tests/support/recording_target.h"

#include <string>

// One FormatModuleInfo run: the model's text and progress, or exactly the right message and the
// text left alone; the output, if reserved, released once; a target fault adds its own effect.
std::string CheckFormat(const unsigned char* bytes, uint32_t length, Numeration mode,
                        TargetFaults faults = {});

// PlanDump, and WriteDumpLines with every data-column writer through a sink and a buffer of
// `capacity` bytes, against the model; then a sink that gives up at its call `refuseAt` (0:
// never) and the same buffer without a sink, which must both stop after whole lines.
std::string CheckWalk(const unsigned char* bytes, uint32_t length, Numeration mode, size_t capacity,
                      size_t refuseAt);

// The index of a whole file against the model: its counts, and runs of the dump that start at
// chosen lines and records, which must be the model's lines there.
std::string CheckRuns(const unsigned char* bytes, uint32_t length, Numeration mode);
