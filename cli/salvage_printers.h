// What qefdump --salvage writes of a damaged file: the dump and the record list of its intact
// records, numbered in the order found, each damaged region in its own form; and the repaired
// file. Each returns false when writing failed.
#pragma once

#include "cli/query_printers.h"
#include "cli/text_out.h"
#include "dump/byte_search.h"
#include "dump/salvage.h"

#include <string_view>

bool PrintSalvagedDump(const unsigned char* data, const Salvage& salvage, Numeration mode,
                       TextOut& out);
bool PrintSalvagedRecords(const unsigned char* data, const Salvage& salvage, bool json,
                          TextOut& out);
// The statistics of the intact records, as --stats counts those of a whole file.
PrintOutcome PrintSalvagedStats(const unsigned char* data, const Salvage& salvage, bool json,
                                TextOut& out);
// A line per hit as --find writes it, its record numbered as in the salvaged dump; a hit whose
// first byte is in a damaged region has "damaged" for its record, "(no record)" for its tag's
// name and the region's dump line, in JSON "damaged": true for "record". `hits` counts them.
PrintOutcome PrintSalvagedHits(const unsigned char* data, uint32_t length, const Salvage& salvage,
                               const SearchQuery& query, Numeration mode, bool json, TextOut& out,
                               uint64_t& hits);
bool PrintRepaired(const unsigned char* data, uint32_t length, const Salvage& salvage,
                   std::string_view signature, TextOut& out);
