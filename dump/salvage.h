// The salvage walk: any bytes split into the records that survive and the damaged regions
// between them, for the faces that show and repair a broken file.
#pragma once

#include "dump/records.h"

#include <cstdint>
#include <vector>

// A damaged region's bytes are shown sixteen to a line from its first byte on.
constexpr uint32_t LinesOfDamage(uint32_t length) {
    return length / BytesPerLine + (length % BytesPerLine != 0);
}

// A stretch of the file: either a run of intact records, one chained to the next as the
// ordinary walk goes, or a damaged region, never read as records.
struct SalvageSpan {
    RecordPosition at; // its offset; the intact records and the dump lines before it
    uint32_t length;   // bytes, at least 1
    uint32_t records;  // intact records in it, 0 in a damaged region
    uint32_t lines;    // dump lines: the records', or LinesOfDamage(length)
    bool damaged;
};

// The spans cover the file in order, every byte in exactly one. The records are numbered in
// the order found (Record::Number), their dump lines counted after the lines of every span
// before them, damaged regions included.
struct Salvage {
    std::vector<SalvageSpan> spans;
    uint32_t records = 0;
    uint32_t lines = 0;
    uint32_t damagedRegions = 0;
    uint32_t damagedBytes = 0;

    bool Whole() const { return damagedRegions == 0; }
};

// Walks `length` bytes of any content (a file without a signature too). Before the first
// break the records are those of the ordinary walk, so a whole file gives exactly its records;
// past a break the records start again where the README's rule finds them. False when memory
// ran out; `salvage` is then empty.
bool SalvageFile(const unsigned char* data, uint32_t length, Salvage& salvage);

// Where the records start again past a break at `broken`: the first later offset at which a
// plausible chain of records begins, or `length` when none does.
uint32_t FindResumption(const unsigned char* data, uint32_t length, uint32_t broken);

// Calls record(const Record&) for every intact record and damage(const SalvageSpan&) for every
// damaged region, in file order; either returns false to stop.
template <typename OnRecord, typename OnDamage>
bool VisitSalvage(const unsigned char* data, const Salvage& salvage, OnRecord&& record,
                  OnDamage&& damage) {
    for (const SalvageSpan& span : salvage.spans) {
        if (span.damaged) {
            if (!damage(span))
                return false;
            continue;
        }
        RecordWalk walk = WalkRecords(data, span.at.offset + span.length, span.at, record);
        if (walk.end == RECORDS_STOPPED)
            return false;
    }
    return true;
}

// Whether the signature record survived: an intact record at offset 0 that signs the file.
bool SignatureSurvived(const unsigned char* data, uint32_t length, const Salvage& salvage);
