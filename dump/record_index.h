// Where every record of a checked file starts, and which dump line is its first: what paging
// through a dump of millions of lines and comparing two files need.
#pragma once

#include "dump/line_writer.h"
#include "dump/records.h"

#include <cstdint>
#include <memory>

class RecordIndex {
  public:
    // Walks a file whose chain is complete (the caller has checked it). False when memory ran
    // out; the index is then empty.
    bool Build(const unsigned char* data, uint32_t length);
    // An index of pieces that follow one another from offset 0 to `length` but are not all
    // records (a damaged file's records and damaged regions), for what reads bytes alone: a
    // search, the values at a byte. It counts no lines. `starts` ascend from 0, each below
    // `length`. False when memory ran out; the index is then empty.
    bool BuildPieces(const unsigned char* data, const uint32_t* starts, uint32_t count,
                     uint32_t length);

    const unsigned char* Data() const { return data_; }
    uint32_t Length() const { return count_ ? offsets_[count_] : 0; }
    uint32_t Count() const { return count_; }
    uint32_t LineCount() const { return lineCount_; }

    // Of record `index` (from 0); Position(Count()) is the end of the file and its dump.
    RecordPosition Position(uint32_t index) const;
    Record At(uint32_t index) const;
    // The bytes of record `index`, its header included.
    uint32_t Offset(uint32_t index) const { return offsets_[index]; }
    uint32_t Bytes(uint32_t index) const { return offsets_[index + 1] - offsets_[index]; }
    // The dump lines of records [first, end).
    uint32_t LinesOf(uint32_t first, uint32_t end) const {
        return Position(end).line - Position(first).line;
    }

    // The dump from line `line` (from 0) to the end, and the dump of records [first, end).
    DumpRun RunFromLine(uint32_t line) const;
    DumpRun RunOfRecords(uint32_t first, uint32_t end) const;

    // How many of the `most` records from `first` on end at or before byte `offset`.
    uint32_t RecordsEndingBy(uint32_t first, uint32_t most, uint32_t offset) const;
    // The record (from 0) that holds dump line `line` (from 0; below LineCount()).
    uint32_t RecordOfLine(uint32_t line) const;
    // The record whose header or data hold byte `offset` (below Length()).
    uint32_t RecordAtOffset(uint32_t offset) const;

  private:
    // Every 64th record's first line; the lines of the records between come from their sizes.
    static constexpr uint32_t LineStep = 64;

    const unsigned char* data_ = nullptr;
    uint32_t count_ = 0;
    uint32_t lineCount_ = 0;
    std::unique_ptr<uint32_t[]> offsets_; // count_ + 1: the end of the file last
    std::unique_ptr<uint32_t[]> lines_;   // the first line of records 0, 64, 128, ...
};
