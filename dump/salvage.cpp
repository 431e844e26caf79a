#include "dump/salvage.h"

#include "dump/tag_names.h"

#include <new>

namespace {

// A chain that resumes is believed after this many plausible records besides empty ones of
// zeros, or sooner when it ends exactly at the end of the file; it is given up after
// ResumeSteps records.
constexpr uint32_t ResumeChain = 4;
constexpr uint32_t ResumeSteps = 64;

bool IsZeroHeader(const unsigned char* header) {
    return ReadUint32Le(header) == 0 && ReadUint32Le(header + 4) == 0;
}

bool IsNamed(uint32_t tag) {
    static const char* const unknown = TagNamesOnce().Find(0xFFFFFFFF);
    return TagNamesOnce().Find(tag) != unknown;
}

// Whether a chain of plausible records starts at `offset`. Its first record has a tag with a
// name; a zeroed block reads as a chain of empty records, so they are no evidence.
bool ChainStartsAt(const unsigned char* data, uint32_t length, uint32_t offset) {
    if (length - offset < RecordHeaderSize || IsZeroHeader(data + offset) ||
        !IsNamed(ReadUint32Le(data + offset)))
        return false;
    uint32_t at = offset;
    uint32_t evidence = 0;
    for (uint32_t step = 0; step < ResumeSteps && evidence < ResumeChain; ++step) {
        if (at == length)
            return true;
        uint32_t left = length - at;
        if (left < RecordHeaderSize)
            return false;
        RecordHeader header = ReadRecordHeader(data + at);
        if (!RecordFits(left, header.size))
            return false;
        evidence += !IsZeroHeader(data + at);
        at += RecordHeaderSize + header.size;
    }
    return evidence == ResumeChain;
}

void AddSpan(Salvage& salvage, RecordPosition at, uint32_t length, uint32_t records, uint32_t lines,
             bool damaged) {
    salvage.spans.push_back({at, length, records, lines, damaged});
    salvage.records += records;
    salvage.lines += lines;
    salvage.damagedRegions += damaged;
    salvage.damagedBytes += damaged ? length : 0;
}

} // namespace

uint32_t FindResumption(const unsigned char* data, uint32_t length, uint32_t broken) {
    for (uint32_t offset = broken + 1; offset < length; ++offset)
        if (ChainStartsAt(data, length, offset))
            return offset;
    return length;
}

bool SalvageFile(const unsigned char* data, uint32_t length, Salvage& salvage) {
    salvage = Salvage();
    try {
        RecordPosition at{};
        while (at.offset < length) {
            RecordWalk walk = WalkRecords<EMPTY_RUNS_AT_ONCE>(data, length, at,
                                                              [](const Record&) { return true; });
            if (walk.next.offset > at.offset)
                AddSpan(salvage, at, walk.next.offset - at.offset, walk.next.record - at.record,
                        walk.next.line - at.line, false);
            if (walk.end == RECORDS_COMPLETE)
                break;
            uint32_t broken = walk.next.offset;
            uint32_t resumed = FindResumption(data, length, broken);
            uint32_t lines = LinesOfDamage(resumed - broken);
            AddSpan(salvage, walk.next, resumed - broken, 0, lines, true);
            at = {resumed, walk.next.record, walk.next.line + lines};
        }
    } catch (const std::bad_alloc&) {
        salvage = Salvage();
        return false;
    }
    return true;
}

bool SignatureSurvived(const unsigned char* data, uint32_t length, const Salvage& salvage) {
    if (salvage.spans.empty() || salvage.spans[0].damaged || !IsModuleInfoFile(data, length))
        return false;
    return RecordAt(data, {}).size >= SignatureLength;
}
