// Reading the input whole and writing the output so that a failure leaves nothing behind.
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

// A regular file is sized first and refused unread when too large; a stream is read only up
// to one byte past the limit. `error` receives errno on READ_FAILED.
ReadOutcome ReadInput(std::FILE* stream, uint32_t limit, InputBytes& input, int& error);

// Standard output, a device or pipe written in place, or a temporary file beside a regular
// target that takes the target's place once everything is written.
struct Output {
    std::FILE* stream = nullptr;
    std::string target;    // empty for standard output
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
