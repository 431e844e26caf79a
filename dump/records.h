// The record chain of a module-info file, walked front to back: the one walk behind the header
// pass, the dump, the record index, the record list and the diff.
#pragma once

#include "dump/module_info.h"

#include <cstddef>
#include <cstdint>

// Where a record stands in the whole file and in its dump. A run of records that starts here
// is numbered as in the whole file.
struct RecordPosition {
    uint32_t offset = 0; // of the record's header
    uint32_t record = 0; // records before it
    uint32_t line = 0;   // dump lines before it
};

// A dump line shows sixteen data bytes; a record without data still has its line.
constexpr uint32_t BytesPerLine = 16;

constexpr uint32_t LinesOfRecord(uint32_t size) {
    return size <= BytesPerLine ? 1 : size / BytesPerLine + (size % BytesPerLine != 0);
}

// A record that fits in the file.
struct Record {
    RecordPosition at;
    uint32_t tag;
    uint32_t size;
    const unsigned char* data; // the `size` data bytes after the header

    uint32_t Number() const { return at.record + 1; }
    uint32_t Lines() const { return LinesOfRecord(size); }
    RecordPosition Next() const {
        return {at.offset + RecordHeaderSize + size, at.record + 1, at.line + Lines()};
    }
};

// The record at `at`, which the caller knows to fit.
inline Record RecordAt(const unsigned char* data, RecordPosition at) {
    RecordHeader header = ReadRecordHeader(data + at.offset);
    return {at, header.tag, header.size, data + at.offset + RecordHeaderSize};
}

enum RecordWalkEnd {
    RECORDS_COMPLETE, // the last record ends exactly at the end
    RECORDS_BROKEN,   // the record at `next` does not fit
    RECORDS_STOPPED,  // the visitor returned false for the record at `next`
};

struct RecordWalk {
    RecordWalkEnd end;
    RecordPosition next; // the first record not visited: after the last, where it breaks or stops
    // RECORDS_BROKEN: the size the record declares (0 when not even its header fits) and the
    // bytes left from its offset.
    uint32_t brokenSize;
    uint32_t bytesLeft;
};

inline bool RecordFits(uint32_t left, uint32_t size) {
    return left >= RecordHeaderSize && size <= left - RecordHeaderSize;
}

// Each header's place depends on the size before it, a chain of loads one after another that
// bounds a walk over many small records when the visitor does little with each. Runs of empty
// records break the chain: their size fields are read side by side, and when all are zero their
// places are known at once. A visitor that writes lines gains nothing by it and loses a little.
enum RecordStride { ONE_RECORD_AT_A_TIME, EMPTY_RUNS_AT_ONCE };
constexpr uint32_t EmptyRun = 4;

inline bool StartsEmptyRun(const unsigned char* record) {
    uint32_t sizes = 0;
    for (uint32_t k = 0; k < EmptyRun; ++k)
        sizes |= ReadRecordHeader(record + size_t(k) * RecordHeaderSize).size;
    return sizes == 0;
}

// Calls visit(const Record&) for every record from `from` on that fits before `end`, in order,
// until one does not fit or `visit` returns false. `from` is a record's position in the file
// that starts at `data`; `end` is at most the file's length, so that a run of a file is walked
// with the numbers of the whole.
template <RecordStride Stride = ONE_RECORD_AT_A_TIME, typename Visit>
RecordWalk WalkRecords(const unsigned char* data, uint32_t end, RecordPosition from,
                       Visit&& visit) {
    RecordPosition at = from;
    while (at.offset < end) {
        uint32_t left = end - at.offset;
        if (Stride == EMPTY_RUNS_AT_ONCE && left >= EmptyRun * RecordHeaderSize &&
            StartsEmptyRun(data + at.offset)) {
            for (uint32_t k = 0; k < EmptyRun; ++k) {
                Record record{at, ReadUint32Le(data + at.offset), 0,
                              data + at.offset + RecordHeaderSize};
                if (!visit(record))
                    return {RECORDS_STOPPED, at, 0, 0};
                at = {at.offset + RecordHeaderSize, at.record + 1, at.line + 1};
            }
            continue;
        }
        RecordHeader header =
            left >= RecordHeaderSize ? ReadRecordHeader(data + at.offset) : RecordHeader{0, 0};
        if (!RecordFits(left, header.size))
            return {RECORDS_BROKEN, at, header.size, left};
        Record record{at, header.tag, header.size, data + at.offset + RecordHeaderSize};
        if (!visit(record))
            return {RECORDS_STOPPED, at, 0, 0};
        at = record.Next();
    }
    return {RECORDS_COMPLETE, at, 0, 0};
}

// The walk over the headers alone: how many records and lines the file has, and where its
// chain breaks.
RecordWalk PlanDump(const unsigned char* data, uint32_t length);
