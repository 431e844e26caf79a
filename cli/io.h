// Reading the input whole and writing the output so that no file is damaged that was not to be
// written: a failure or a signal leaves an existing OUT as it was wherever that can be done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct FreeInput {
    void operator()(unsigned char* bytes) const;
};

struct InputBytes {
    std::unique_ptr<unsigned char[], FreeInput> bytes; // `length` bytes and a NUL
    uint32_t length = 0;
};

enum ReadOutcome { READ_DONE, READ_TOO_LARGE, READ_FAILED };

struct ReadFailure {
    int error = 0;         // errno on READ_FAILED
    uint64_t fileSize = 0; // on READ_TOO_LARGE, the size of a regular file; 0 for a stream
};

// A regular file is sized first and refused unread when too large; a stream is read into
// memory that grows with it, up to one byte past the limit.
ReadOutcome ReadInput(std::FILE* stream, uint32_t limit, InputBytes& input, ReadFailure& failure);

bool IsTerminal(std::FILE* stream);
// True when `path`, however reached, is the regular file that `stream` reads.
bool IsSameFile(std::FILE* stream, const char* path);

// Standard output; anything but a regular file, written in place; or a regular file (a
// symbolic link followed to it), written to a temporary beside it that takes its place once
// everything is written. A regular file with more than one name, or whose folder cannot take
// the temporary, is written in place.
struct Output {
    std::FILE* stream = nullptr;
    std::string target;    // where the temporary goes; empty for standard output
    std::string temporary; // empty when writing in place
    int error = 0;         // errno of the first failure
    std::string failure;   // a text for failures errno cannot describe
};

bool OpenOutput(const char* target, Output& output);
bool WriteOutput(Output& output, const char* bytes, size_t count);
// Flushes and closes, then moves the temporary into place; on failure nothing is left of it.
bool FinishOutput(Output& output);
// Closes and removes the temporary; the target keeps what it had.
void AbandonOutput(Output& output);

// What to tell the user about the output's first failure.
std::string OutputFailureText(const Output& output);
