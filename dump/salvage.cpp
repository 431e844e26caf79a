#include "dump/salvage.h"

#include "dump/tag_names.h"

#include <cstring>
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

// The first offset in [from, to) whose size could fit in the file, or `to`. A size that fits
// has a small top byte, and the bytes that could be one are found eight at a time: most offsets
// of data are passed over without a look at their headers.
uint32_t NextCandidate(const unsigned char* data, uint32_t length, uint32_t from, uint32_t to) {
    if (length < RecordHeaderSize)
        return to;
    uint32_t topMost = (length - RecordHeaderSize) >> 24;
    if (topMost >= 0x7F) // too large for the byte test below
        return from;
    constexpr uint64_t Ones = 0x0101010101010101ull;
    constexpr uint64_t Highs = 0x8080808080808080ull;
    uint64_t below = Ones * (topMost + 1);
    uint32_t offset = from;
    // The top bytes of the sizes at offset .. offset + 7 are the eight bytes from offset + 7.
    for (uint64_t word; offset < to && uint64_t(offset) + 15 <= length; offset += 8) {
        std::memcpy(&word, data + offset + 7, sizeof word);
        if (((word - below) & ~word & Highs) != 0)
            break;
    }
    return offset < to ? offset : to;
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

// Where the chain from `offset` breaks, or `length` when it is complete.
uint32_t ChainReach(const unsigned char* data, uint32_t length, uint32_t offset) {
    uint32_t at = offset;
    for (int64_t size; at < length && (size = FittingSize(data, length, at)) >= 0;)
        at = NextOffset(at, size);
    return at;
}

// Whether the chain from `rival`, which starts amid the first records of the chain from
// `start`, explains the bytes better: it meets that chain with more records than it has up to
// there, or runs past `reach`, where that chain breaks, by ResumeChain records or to the end,
// or, where it breaks first, it has far more records up to there (another damage that the
// coarser chain jumped over). Both are walked side by side, spending `budget`.
bool Overtakes(const unsigned char* data, uint32_t length, uint32_t start, uint32_t rival,
               uint32_t reach, uint64_t& budget) {
    uint32_t at = start;
    uint32_t records = 0;
    uint32_t rivalRecords = 0;
    uint32_t past = 0;
    for (; budget > 0; --budget) {
        if (at == rival)
            return rivalRecords > records;
        if (at < rival && at < reach) {
            int64_t size = FittingSize(data, length, at); // fits: the chain breaks at `reach`
            if (size < 0)
                return false;
            at = NextOffset(at, size);
            ++records;
            continue;
        }
        if (past == ResumeChain || rival == length)
            return rival > reach;
        int64_t size = FittingSize(data, length, rival);
        if (size < 0)
            return rivalRecords > 2 * records + ResumeChain;
        rival = NextOffset(rival, size);
        ++rivalRecords;
        past += rival > reach;
    }
    return false;
}

// The first offset in [from, to) at which a plausible chain starts that overtakes the chain
// from `start`, or `to`.
uint32_t FindOvertaking(const unsigned char* data, uint32_t length, uint32_t start, uint32_t from,
                        uint32_t to, uint32_t reach, uint64_t& budget) {
    for (uint32_t offset = from;
         (offset = NextCandidate(data, length, offset, to)) < to && budget > 0; ++offset)
        if (ChainStartsAt(data, length, offset) &&
            Overtakes(data, length, start, offset, reach, budget))
            return offset;
    return to;
}

// Where the first ResumeChain records of the chain from `start` end.
uint32_t EndOfFirstRecords(const unsigned char* data, uint32_t length, uint32_t start) {
    uint32_t at = start;
    for (uint32_t k = 0; k < ResumeChain && at < length; ++k) {
        int64_t size = FittingSize(data, length, at);
        if (size < 0)
            break;
        at = NextOffset(at, size);
    }
    return at;
}

// The first records of a chain that resumes may be junk that happens to fit and to land where
// records start, or a chain of misaligned headers. When their bytes hold a chain that meets it
// with more records or runs past its break, that finer chain is taken, and its own first
// records are looked at in turn, up to FinerTries times: real data rarely chains, junk seldom
// far. The walks of the chains that lose spend a budget of twice the records the bytes up to
// the break could hold, so that this stays linear.
constexpr uint32_t FinerTries = 16;

uint32_t FinerStart(const unsigned char* data, uint32_t length, uint32_t start) {
    for (uint32_t tries = 0; tries < FinerTries; ++tries) {
        uint32_t reach = ChainReach(data, length, start);
        uint64_t budget = 2 * uint64_t(reach - start) / RecordHeaderSize + ResumeSteps;
        uint32_t end = EndOfFirstRecords(data, length, start);
        uint32_t finer = FindOvertaking(data, length, start, start + 1, end, reach, budget);
        if (finer == end)
            break;
        start = finer;
    }
    return start;
}

// The records are numbered and their lines counted after every span before them; damage next
// to damage is one region.
void AddSpan(Salvage& salvage, uint32_t offset, uint32_t length, uint32_t records, uint32_t lines,
             bool damaged) {
    if (damaged && !salvage.spans.empty() && salvage.spans.back().damaged) {
        SalvageSpan& last = salvage.spans.back();
        salvage.lines -= last.lines;
        last.length += length;
        last.lines = LinesOfDamage(last.length);
        salvage.lines += last.lines;
        salvage.damagedBytes += length;
        return;
    }
    lines = damaged ? LinesOfDamage(length) : lines;
    salvage.spans.push_back(
        {{offset, salvage.records, salvage.lines}, length, records, lines, damaged});
    salvage.records += records;
    salvage.lines += lines;
    salvage.damagedRegions += damaged;
    salvage.damagedBytes += damaged ? length : 0;
}

// The records before a break that may be junk: a wrong size sends the walk into the middle of
// the records after it, where misaligned headers can fit for a while.
constexpr uint32_t SuspectRecords = 8;

// The ordinary walk from `at`, where the records it believes end, and the last of them.
struct ChainRun {
    RecordWalk walk;
    RecordPosition end;
    Record last[SuspectRecords];
    uint32_t count = 0; // records walked
};

// The records end where the chain ends or breaks, or, when empty records of zeros lead up to
// the break, where they start, since a zeroed block reads as such records (and the record
// before them, when the block began in its header).
ChainRun WalkChain(const unsigned char* data, uint32_t length, RecordPosition at) {
    ChainRun run;
    RecordPosition zeros = at;
    bool inZeros = false;
    run.walk = WalkRecords(data, length, at, [&](const Record& record) {
        bool zero = record.size == 0 && record.tag == 0;
        if (zero && !inZeros) {
            // A block zeroed from amid a header leaves it empty, its last five bytes zero.
            const Record* before =
                run.count ? &run.last[(run.count - 1) % SuspectRecords] : nullptr;
            bool zeroedToo = before && before->size == 0 && before->tag >> 24 == 0;
            zeros = zeroedToo ? before->at : record.at;
        }
        inZeros = zero;
        run.last[run.count++ % SuspectRecords] = record;
        return true;
    });
    bool trailingZeros = run.walk.end == RECORDS_BROKEN && inZeros;
    run.end = trailingZeros ? zeros : run.walk.next;
    return run;
}

// Whether one of the last records before a break holds a chain that agrees with the chain or
// runs past the break: then the walk went astray at that record (a wrong size sent it amid the
// records after it, where misaligned headers can fit for a while), and that record is damage
// up to where the finer chain starts. The earliest such record is taken; `run.end` becomes its
// place and `resumed` the finer chain's start.
bool FindAstray(const unsigned char* data, uint32_t length, ChainRun& run, uint32_t& resumed) {
    uint32_t broken = run.walk.next.offset;
    uint32_t first = run.count > SuspectRecords ? run.count - SuspectRecords : 0;
    uint64_t budget = ResumeSteps;
    for (uint32_t k = first; k < run.count; ++k)
        budget +=
            2 * uint64_t(run.last[k % SuspectRecords].size + RecordHeaderSize) / RecordHeaderSize;
    for (uint32_t k = first; k < run.count; ++k) {
        const Record& record = run.last[k % SuspectRecords];
        if (record.at.offset >= run.end.offset)
            break;
        uint32_t end = record.Next().offset;
        uint32_t finer = FindOvertaking(data, length, record.at.offset, record.at.offset + 1, end,
                                        broken, budget);
        if (finer < end) {
            run.end = record.at;
            resumed = finer;
            return true;
        }
    }
    return false;
}

} // namespace

uint32_t FindResumption(const unsigned char* data, uint32_t length, uint32_t broken) {
    for (uint32_t offset = broken + 1;
         (offset = NextCandidate(data, length, offset, length)) < length; ++offset)
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
            uint32_t resumed = length;
            if (run.walk.end == RECORDS_BROKEN)
                resumed = FindAstray(data, length, run, resumed)
                              ? FinerStart(data, length, resumed)
                              : FindResumption(data, length, run.end.offset);
            if (run.end.offset > at.offset)
                AddSpan(salvage, at.offset, run.end.offset - at.offset, run.end.record - at.record,
                        run.end.line - at.line, false);
            if (run.walk.end == RECORDS_COMPLETE)
                break;
            AddSpan(salvage, run.end.offset, resumed - run.end.offset, 0, 0, true);
            at = {resumed, salvage.records, salvage.lines};
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
