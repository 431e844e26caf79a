// A deliberately plain model of the dump, written from the format's rules alone and sharing no
// code with dump/ (it has its own tag table): one std::string per line, templates applied
// character by character. Slow, but simple enough to trust, so that the tests and the fuzz
// targets can hold the fast formatter against it on any input.
#pragma once

#include "dump/formatter.h"

#include <cstdint>
#include <string>
#include <vector>

struct ModelDump {
    bool signature;   // bytes 8 to 28 hold one of the two signature texts
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

bool ModelSignature(const unsigned char* data, uint32_t length);

// Exactly 12 characters.
std::string ModelTagName(uint32_t tag);
