// The line writer: turns the records of a module-info file into its dump lines, 103 characters
// each, numbered in one of three ways. Every face's dump, diff and page goes through it.
#pragma once

#include "dump/line_kernel.h"
#include "dump/line_layout.h"
#include "dump/records.h"

#include <cstddef>
#include <cstdint>

enum Numeration {
    NUMERATION_SINGLE = 1, // one running line number
    NUMERATION_MULTI = 2,  // record number, and the sub-line in the size column
    NUMERATION_OFFSET = 3, // file offset of the line's first data byte
};

// Receives the dump lines in chunks of whole lines; returns false to stop the walk.
class DumpLineSink {
  public:
    virtual bool WriteLines(const char* lines, size_t bytes) = 0;

  protected:
    ~DumpLineSink() = default;
};

// Told how far a walk has come, at every 10,000th record and every 10,000th line of a record:
// the offset where that record or line starts, and the end of the run.
class DumpProgress {
  public:
    virtual void Reached(uint32_t offset, uint32_t end) = 0;

  protected:
    ~DumpProgress() = default;
};

enum DumpWalkResult { DUMP_WALK_COMPLETE, DUMP_WALK_FORMAT_ERROR, DUMP_WALK_STOPPED };

// A run of a file's dump: the lines of the records from `from` up to `end` (where a record
// starts, or the file's length), numbered as in the dump of the whole file, without the first
// `skip` lines of the first record.
struct DumpRun {
    const unsigned char* data; // the whole file
    uint32_t end;
    RecordPosition from;
    uint32_t skip;
};

inline DumpRun WholeDump(const unsigned char* data, uint32_t length) {
    return {data, length, {}, 0};
}

// What the number column of a record's first line shows.
inline uint32_t NumberOfFirstLine(const Record& record, Numeration mode) {
    return mode == NUMERATION_SINGLE   ? record.at.line + 1
           : mode == NUMERATION_OFFSET ? record.at.offset + RecordHeaderSize
                                       : record.Number();
}

// The one line writer. Fills `buffer` with lines; when the next line would not fit it hands
// the full part to `sink` and starts again at the front. Without a sink a full buffer stops
// the walk. Stops at the first record that does not fit, after the lines before it. Progress
// goes to `progress` when given, measured against `run.end`. The file is at most
// MaxModuleInfoLength bytes, so that every number of the dump has at most eight digits.
DumpWalkResult WriteDumpLines(const DumpRun& run, Numeration mode, char* buffer, size_t capacity,
                              DumpLineSink* sink, DumpProgress* progress);

// The same with the given data-column writer, so that the tests can hold every kernel against
// the others.
DumpWalkResult WriteDumpLinesWith(DataColumnWriter writer, const DumpRun& run, Numeration mode,
                                  char* buffer, size_t capacity, DumpLineSink* sink,
                                  DumpProgress* progress);
