// Writing the output so that no file is damaged that was not to be written: a failure, a full
// disk or a signal leaves an existing OUT as it was wherever the platform allows. One header,
// two sources: output_posix.cpp and output_win32.cpp say what each platform can keep.
//
// OUT goes one of these ways:
// - standard output (no OUT), or a name for one of the program's own descriptors
//   (/dev/stdout, /dev/fd/N): written through that descriptor, where it stands;
// - a terminal, a pipe, a device: written to as it is;
// - a missing or regular file, links followed to it: written to a private temporary beside
//   it that takes its place once everything is written, with its owner, group and mode;
// - a regular file that cannot be replaced whole (more than one name; an owner, group or
//   folder this user cannot give a replacement): written over in place, its room reserved
//   first when the output's length is known, so that a full disk leaves it as it was, and cut
//   to the output's length at the end.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

struct Output {
    std::FILE* stream = nullptr;
    std::string temporary;   // the replacement being written; empty when writing in place
    std::string target;      // what the temporary replaces or becomes
    bool replacing = false;  // the temporary replaces an existing file
    bool inPlace = false;    // a regular file written over: its length is set at the end
    int error = 0;           // errno of the first failure
    std::string failure;     // the text of a failure that errno cannot describe
    bool closedPipe = false; // Windows: the reader went away, which POSIX tells by SIGPIPE
};

// `target` is null for standard output. `length` is the number of bytes that will be written,
// 0 when it is not known.
bool OpenOutput(const char* target, uint64_t length, Output& output);
bool WriteOutput(Output& output, const char* bytes, size_t count);
// Flushes and closes, then puts the temporary in place; on failure nothing is left of it.
bool FinishOutput(Output& output);
// Closes and removes the temporary; the target keeps what it had.
void AbandonOutput(Output& output);

// What to tell the user about the output's first failure, on either platform.
inline std::string OutputFailureText(const Output& output) {
    if (!output.failure.empty())
        return output.failure;
    return std::strerror(output.error ? output.error : EIO);
}
