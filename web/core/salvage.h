// What survives of a damaged file, as the page shows it: rows of the record list that are its
// intact records and its damaged regions, in the order of their offsets, and the dump of them
// all, each region's bytes in lines of their own. Offsets are those of the file as it is; record
// numbers count the intact records in the order found.
#pragma once

#include "web/core/binding.h"

#include <cstddef>
#include <cstdint>

// Salvages `file` (its bytes read, refused by the check): its salvage, and its index over the
// intact records put end to end. False when memory ran out.
bool SalvageOpenFile(OpenFile& file);

uint32_t SalvageLineCount(const SalvagedView& view);
uint32_t SalvageRowCount(const SalvagedView& view);
uint32_t SalvageRegionCount(const SalvagedView& view);
// Whether the signature record survived, so that the repaired file is a module-info file.
bool SalvageSigned(const SalvagedView& view);

// Dump lines [first, first + count) in `mode` at `room`, which holds DumpLineLength bytes for
// each: the bytes written.
uint32_t SalvageLines(const SalvagedView& view, uint32_t first, uint32_t count, Numeration mode,
                      char* room);
// Rows [first, first + count) of the record list at `at`, each a line of at most SalvageRowRoom
// bytes (a damaged region's is longer than a record's): the bytes written.
constexpr size_t SalvageRowRoom = 80;
uint32_t SalvageRowLines(const SalvagedView& view, uint32_t first, uint32_t count, char* at);

uint32_t SalvageFirstLineOfRow(const SalvagedView& view, uint32_t row);
uint32_t SalvageRowOfLine(const SalvagedView& view, uint32_t line);
// The row of intact record `record` (from 0), and that record's offset in the file.
uint32_t SalvageRowOfRecord(const SalvagedView& view, uint32_t record);
uint32_t SalvageRecordOffset(const SalvagedView& view, uint32_t record);
// The first intact record (from 0) that starts at or after byte `offset`.
uint32_t SalvageRecordFrom(const SalvagedView& view, uint32_t offset);
// The record (from 0) a row shows, or -1 for a damaged region.
int64_t SalvageRecordOfRow(const SalvagedView& view, uint32_t row);
// The offset of the first byte line `line` shows, as the Offset numeration counts it.
uint32_t SalvageOffsetOfLine(const SalvagedView& view, uint32_t line);
// The line that shows byte `offset` (below the file's length).
uint32_t SalvageLineOfOffset(const SalvagedView& view, uint32_t offset);
// The rows as pieces of the whole file, for a search of its bytes and the values at a byte.
const RecordIndex& SalvagePieces(const SalvagedView& view);
