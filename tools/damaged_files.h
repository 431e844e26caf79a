// Generated files damaged the ways files break, with what survived of them, and the salvage
// walk's score on them: the corpus the salvage rule is measured against.
#pragma once

#include "tools/sample_files.h"

#include <cstdint>
#include <string_view>
#include <vector>

enum DamageKind {
    DAMAGE_CUT,           // cut short anywhere, in a header or in data
    DAMAGE_SIZE_SMALL,    // one size field overwritten: 1 to 255
    DAMAGE_SIZE_LARGE,    // 2^25 to 2^31, past the end of any accepted file
    DAMAGE_SIZE_ZERO,     // 0
    DAMAGE_SIZE_ALL_ONES, // 0xFFFFFFFF
    DAMAGE_INSERTED,      // 1 to 4096 random bytes inserted
    DAMAGE_DELETED,       // 1 to 4096 bytes deleted
    DAMAGE_ZEROED,        // a block of 1 to 4096 bytes zeroed
    DAMAGE_OVERWRITTEN,   // a block of 1 to 4096 bytes overwritten with random ones
    DAMAGE_TWO,           // two of the above at once
    DamageKindCount,
};

std::string_view DamageKindName(DamageKind kind);
// The kind qefgen --damage names: cut, size-small, size-large, size-zero, size-ones, inserted,
// deleted, zeroed, overwritten or two.
bool ParseDamageKind(std::string_view name, DamageKind& kind);

// A record of the file before the damage that is still there, byte for byte, at `offset`.
struct SurvivingRecord {
    uint32_t offset;
    uint32_t length; // header and data
};

struct DamagedFile {
    std::vector<unsigned char> bytes;
    std::vector<SurvivingRecord> survivors; // in file order
    // Records whose data bytes alone were changed, in place: no reader can tell them from
    // intact ones without the original.
    std::vector<SurvivingRecord> changed;
};

// A sample of `shape` and `size` bytes damaged once (twice for DAMAGE_TWO); the same arguments
// always give the same file. Half the damage is placed at a record's header, the rest anywhere.
DamagedFile DamageSample(SampleShape shape, uint32_t seed, uint32_t size, DamageKind kind);

// What the salvage walk found of a damaged file: the surviving records, the records it
// reported, and those of them that are survivors, at their offset with their length. A record
// whose data alone changed is shown as a record, rightly: it is counted apart, in `changed`,
// and not in `reported`.
// A file the damage left well-formed (a zeroed block amid empty records, bytes deleted where the
// chain closes up again) is accepted as it is by every face, so it is counted apart and not
// scored: nothing can tell its damage.
struct SalvageScore {
    uint64_t survivors = 0;
    uint64_t reported = 0;
    uint64_t found = 0;
    uint64_t changed = 0;
    uint64_t files = 0;
    uint64_t stillWhole = 0; // of the files

    void Add(const SalvageScore& other);
    double Recall() const { return survivors ? double(found) / double(survivors) : 1.0; }
    double Precision() const { return reported ? double(found) / double(reported) : 1.0; }
};

// False when memory ran out.
bool ScoreSalvage(const DamagedFile& file, SalvageScore& score);

// The score over `seeds` files of `shape` damaged by `kind`, of sizes spread from `smallest`
// up to `smallest + spread`. False when memory ran out.
bool ScoreCorpus(SampleShape shape, DamageKind kind, uint32_t seeds, uint32_t smallest,
                 uint32_t spread, SalvageScore& score);
