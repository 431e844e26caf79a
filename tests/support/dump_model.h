// A deliberately plain model of the dump, from the format's rules alone, sharing nothing with
// dump/ but its table of tag names: slow, but simple enough to trust on any input.
#pragma once

#include "dump/line_writer.h"

#include <cstdint>
#include <string>
#include <vector>

struct ModelDump {
    bool complete;    // the last record ends exactly at the end of the data
    std::string text; // the lines of every record that fits, in order
    std::vector<std::string> progress;
    uint64_t lines;
    uint32_t records;
    // Where the chain breaks: the record's offset, its declared size (0 when even its header
    // is cut short) and the bytes left from there.
    uint32_t brokenOffset, brokenSize, bytesLeft;
};

ModelDump DumpByModel(const unsigned char* data, uint32_t length, Numeration mode);
// What the viewer's status shows when a dump has come to `position` of `length` bytes.
std::string ProgressText(uint64_t position, uint32_t length);
std::string ModelTagName(uint32_t tag); // exactly 12 characters
