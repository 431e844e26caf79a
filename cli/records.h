// The records of a checked module-info file, for scripts: one record's data bytes, and the
// record list as JSON Lines.
#pragma once

#include "dump/formatter.h"

#include <cstdint>

struct RecordSpan {
    uint32_t offset; // of the record's header
    uint32_t size;   // data bytes after the header
};

// Record `number` (1-based) of a file whose chain has been checked. False when there is no
// such record; `count` then tells how many there are.
bool FindRecord(const unsigned char* data, uint32_t length, uint32_t number, RecordSpan& span,
                uint32_t& count);

// The data bytes of record `number`, which exists.
bool WriteRecordData(const unsigned char* data, uint32_t length, uint32_t number,
                     DumpLineSink& sink);

// One line per record of a checked file, each made by `writeLine` in at most `room` bytes at
// `at` (which it returns past the line), gathered in `chunk` and handed to `sink`.
using RecordLineWriter = char* (*)(char* at, uint32_t number, uint32_t offset,
                                   const unsigned char* record);
bool WriteRecordLines(const unsigned char* data, uint32_t length, RecordLineWriter writeLine,
                      size_t room, char* chunk, size_t capacity, DumpLineSink& sink);

// {"record": 1, "offset": 0, "tag": "4D6F6400", "name": "MI_SIGNATURE", "size": 32}, one line
// per record, gathered in `chunk` (at least JsonLineRoom bytes) and handed to `sink`.
constexpr size_t JsonLineRoom = 128;
bool WriteRecordJson(const unsigned char* data, uint32_t length, char* chunk, size_t capacity,
                     DumpLineSink& sink);
