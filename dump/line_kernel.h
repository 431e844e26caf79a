// The data columns of whole dump lines (hexadecimal, characters and the line end), written
// either byte by byte or with SSSE3 vector code; the processor decides at run time.
#pragma once

#include "dump/byte_text.h"
#include "dump/line_layout.h"
#include "dump/records.h"

#include <cstddef>
#include <cstring>

// Writes columns 32 to 102 of `count` consecutive lines, DumpLineLength bytes apart, each
// from its own 16 data bytes. The other columns are not touched.
using DataColumnWriter = void (*)(char* lines, const unsigned char* bytes, size_t count);

enum LineKernel {
    LINE_KERNEL_PLAIN, // portable C++, every build and processor
    LINE_KERNEL_SSSE3, // x86 processors with SSSE3
};

// Columns 32 to 102 of one line from `count` data bytes (at most 16): the template's blanks
// where no byte is shown. The plain writer is this for whole lines; the last line of a record
// that ends inside a line always goes through it, as the vector writer reads 16 bytes.
inline void WriteLineData(char* line, const unsigned char* bytes, size_t count) {
    std::memcpy(line + HexColumn, HeaderLineTemplate + HexColumn, DumpLineLength - HexColumn);
    for (size_t k = 0; k < count; ++k) {
        std::memcpy(line + HexColumnOf(k), ByteTexts.hex[bytes[k]], 2);
        line[CharColumnOf(k)] = ByteTexts.shown[bytes[k]];
    }
}

// nullptr when this build has no such code or this processor cannot run it.
DataColumnWriter FindDataColumnWriter(LineKernel kernel);

// The fastest writer this processor runs; the same on every call.
DataColumnWriter BestDataColumnWriter();

// The SSSE3 writer as compiled, or nullptr when this build has none; the caller checks the
// processor.
DataColumnWriter Ssse3DataColumnWriter();
