// Reading the input whole, and telling whether a path is the file being read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

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

// `path` (UTF-8) opened for reading, by its wide name on Windows; null with errno set. A folder
// fails with EISDIR on every system (Windows says EACCES; Linux opens it and fails the read).
std::FILE* OpenInputFile(const char* path);

bool IsTerminal(std::FILE* stream);
// Whether `path`, however reached, or the file `other` writes is the regular file that `stream`
// reads. UNKNOWN where the system cannot tell for a file on a disk: nothing may be written then.
enum FileMatch { FILES_DIFFERENT, FILES_SAME, FILES_UNKNOWN };
FileMatch IsSameFile(std::FILE* stream, const char* path);
FileMatch IsSameFile(std::FILE* stream, std::FILE* other);
// For an input that could not be opened (no right to read it): whether `other` names it too.
FileMatch IsSameFile(const char* path, const char* other);
