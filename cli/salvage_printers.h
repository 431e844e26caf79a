// What qefdump --salvage writes of a damaged file: the dump and the record list of its intact
// records, numbered in the order found, each damaged region in its own form; and the repaired
// file. Each returns false when writing failed.
#pragma once

#include "cli/query_printers.h"
#include "cli/text_out.h"
#include "dump/salvage.h"

#include <string_view>

bool PrintSalvagedDump(const unsigned char* data, const Salvage& salvage, Numeration mode,
                       TextOut& out);
bool PrintSalvagedRecords(const unsigned char* data, const Salvage& salvage, bool json,
                          TextOut& out);
// The statistics of the intact records, as --stats counts those of a whole file.
PrintOutcome PrintSalvagedStats(const unsigned char* data, const Salvage& salvage, bool json,
                                TextOut& out);
bool PrintRepaired(const unsigned char* data, uint32_t length, const Salvage& salvage,
                   std::string_view signature, TextOut& out);
