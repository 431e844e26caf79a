// A deliberately plain model of the dump: one std::string per line, templates applied
// character by character. Slow, but simple enough to trust, so the fast formatter can be
// compared with it on any input.
#pragma once

#include "dump/formatter.h"

#include <cstdint>
#include <string>
#include <vector>

// The lines of every record that fits, in order. `complete` tells whether the last record
// ends exactly at the end of the data; `progress` gets the progress texts in order.
std::string ReferenceDump(const unsigned char* data, uint32_t length, Numeration mode,
                          bool& complete, std::vector<std::string>& progress);
