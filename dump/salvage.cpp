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

// The size of the record at `offset` when it fits before `end`, else -1.
int64_t FittingSize(const unsigned char* data, uint32_t end, uint32_t offset) {
    if (end - offset < RecordHeaderSize)
        return -1;
    RecordHeader header = ReadRecordHeader(data + offset);
    return RecordFits(end - offset, header.size) ? int64_t(header.size) : -1;
}

uint32_t NextOffset(uint32_t offset, int64_t size) {
    return offset + RecordHeaderSize + uint32_t(size);
}

// Whether a chain of plausible records starts at `offset`. Its first record fits and has a tag
// with a name; a zeroed block reads as a chain of empty records, so they are no evidence.
bool ChainStartsAt(const unsigned char* data, uint32_t length, uint32_t offset) {
    int64_t size = FittingSize(data, length, offset);
    if (size < 0 || IsZeroHeader(data + offset) || !IsNamed(ReadUint32Le(data + offset)))
        return false;
    uint32_t at = NextOffset(offset, size);
    uint32_t evidence = 1;
    for (uint32_t step = 0; step < ResumeSteps && evidence < ResumeChain; ++step) {
        if (at == length)
            return true;
        size = FittingSize(data, length, at);
        if (size < 0)
            return false;
        evidence += !IsZeroHeader(data + at);
        at = NextOffset(at, size);
    }
    return evidence == ResumeChain;
}

// Where the chain from `offset` breaks (`length` when it is complete), walking at most until it
// reaches `limit` and at most `budget` records, which the walk spends.
uint32_t ChainReach(const unsigned char* data, uint32_t length, uint32_t offset, uint32_t limit,
                    uint64_t& budget) {
    uint32_t at = offset;
    for (; at < limit && budget > 0; --budget) {
        int64_t size = FittingSize(data, length, at);
        if (size < 0)
            return at;
        at = NextOffset(at, size);
    }
    return at < limit ? offset : at;
}

// The first records of a chain that resumes may be junk that happens to fit and to land where
// records start, or another chain of junk. When the first record's bytes hold a chain that
// reaches at least as far as it does (to the same break, or past it), the finer chain is
// taken: real data rarely chains, junk seldom far. The walks of the chains that lose spend a
// budget of twice the records the bytes up to the break could hold, so that this stays linear.
uint32_t FinerStart(const unsigned char* data, uint32_t length, uint32_t start) {
    uint64_t unlimited = UINT64_MAX;
    uint32_t reach = ChainReach(data, length, start, length, unlimited);
    uint64_t budget = 2 * uint64_t(reach - start) / RecordHeaderSize + ResumeSteps;
    uint32_t end = NextOffset(start, FittingSize(data, length, start));
    for (uint32_t offset = start + 1; offset < end && budget > 0; ++offset) {
        if (!ChainStartsAt(data, length, offset) ||
            ChainReach(data, length, offset, reach, budget) < reach)
            continue;
        start = offset;
        end = NextOffset(start, FittingSize(data, length, start));
    }
    return start;
}

void AddSpan(Salvage& salvage, RecordPosition at, uint32_t length, uint32_t records, uint32_t lines,
             bool damaged) {
    salvage.spans.push_back({at, length, records, lines, damaged});
    salvage.records += records;
    salvage.lines += lines;
    salvage.damagedRegions += damaged;
    salvage.damagedBytes += damaged ? length : 0;
}

// The ordinary walk from `at`, and where the records it believes end: where the chain ends or
// breaks, or, when empty records of zeros lead up to the break, where they start, since a
// zeroed block reads as such records.
struct ChainRun {
    RecordWalk walk;
    RecordPosition end;
};

ChainRun WalkChain(const unsigned char* data, uint32_t length, RecordPosition at) {
    RecordPosition zeros = at;
    bool inZeros = false;
    RecordWalk walk = WalkRecords(data, length, at, [&](const Record& record) {
        bool zero = record.size == 0 && record.tag == 0;
        if (zero && !inZeros)
            zeros = record.at;
        inZeros = zero;
        return true;
    });
    bool trailingZeros = walk.end == RECORDS_BROKEN && inZeros;
    return {walk, trailingZeros ? zeros : walk.next};
}

} // namespace

uint32_t FindResumption(const unsigned char* data, uint32_t length, uint32_t broken) {
    for (uint32_t offset = broken + 1; offset < length; ++offset)
        if (ChainStartsAt(data, length, offset))
            return FinerStart(data, length, offset);
    return length;
}

bool SalvageFile(const unsigned char* data, uint32_t length, Salvage& salvage) {
    salvage = Salvage();
    try {
        RecordPosition at{};
        while (at.offset < length) {
            ChainRun run = WalkChain(data, length, at);
            if (run.end.offset > at.offset)
                AddSpan(salvage, at, run.end.offset - at.offset, run.end.record - at.record,
                        run.end.line - at.line, false);
            if (run.walk.end == RECORDS_COMPLETE)
                break;
            uint32_t broken = run.end.offset;
            uint32_t resumed = FindResumption(data, length, broken);
            uint32_t lines = LinesOfDamage(resumed - broken);
            AddSpan(salvage, run.end, resumed - broken, 0, lines, true);
            at = {resumed, run.end.record, run.end.line + lines};
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
