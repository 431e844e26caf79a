// Whether a file is accepted for a dump and, when it is not, why: the viewer's own message and
// where the file breaks, for every face that tells a reader.
#pragma once

#include "dump/records.h"

#include <cstdint>
#include <string>

enum FileVerdict { FILE_ACCEPTED, FILE_TOO_LARGE, FILE_NO_SIGNATURE, FILE_BROKEN };

struct FileCheck {
    FileVerdict verdict;
    RecordWalk chain; // walked when the signature is there
};

// The size limit, the signature and the record chain, in the formatter's order. A file over
// the limit is refused before its bytes are looked at, so `data` may then be null.
FileCheck CheckModuleInfoFile(const unsigned char* data, uint64_t length);

// The message of a refused file and what it found, for example "QEF format error. Record 2 at
// offset 0x1D declares 5 data bytes, but only 4 follow its header." For a file too large,
// `length` is its size, or 0 when a stream is only known to have gone past the limit.
std::string DescribeRefusal(const FileCheck& check, const unsigned char* data, uint64_t length);
