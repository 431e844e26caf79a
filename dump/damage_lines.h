// The dump lines of a damaged region: its bytes sixteen to a line, in the data columns every dump
// line has, after a start that no record line can have ("~~~~~~~~: DAMAGED" where a record line
// has its number and tag name) and the file offset of the line's first byte, in hexadecimal,
// where a record line has its size. Every numeration shows them alike.
#pragma once

#include <cstdint>

// Lines [skip, skip + count) of the region of `length` bytes at `offset` of `data` (the whole
// file), DumpLineLength bytes each, CR LF included, at `at`; the caller has room for them.
void WriteDamageLines(const unsigned char* data, uint32_t offset, uint32_t length, uint32_t skip,
                      uint32_t count, char* at);
