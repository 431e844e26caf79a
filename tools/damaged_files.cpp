#include "tools/damaged_files.h"

#include "dump/file_check.h"
#include "dump/salvage.h"

#include <algorithm>
#include <random>

namespace {

constexpr uint32_t MostBlock = 4096;

// Every record of the sample: where it was, where it is now, whether the damage reached it.
struct TrackedRecord {
    uint32_t original;
    uint32_t offset;
    uint32_t length;
    bool touched;
    bool inPlace; // only data bytes were replaced, none moved: it stands as it stood
};

class Damager {
  public:
    Damager(std::vector<unsigned char>& bytes, uint32_t seed) : bytes_(bytes), random_(seed) {
        WalkRecords(bytes.data(), uint32_t(bytes.size()), {}, [this](const Record& record) {
            uint32_t offset = record.at.offset;
            records_.push_back({offset, offset, RecordHeaderSize + record.size, false, true});
            return true;
        });
    }

    void Damage(DamageKind kind) {
        switch (kind) {
        case DAMAGE_CUT:
            return Edit(Place(1), Length(), 0, false);
        case DAMAGE_SIZE_SMALL:
            return SetSize(1 + Below(255));
        case DAMAGE_SIZE_LARGE:
            return SetSize((1u << 25) + Below((1u << 31) - (1u << 25)));
        case DAMAGE_SIZE_ZERO:
            return SetSize(0);
        case DAMAGE_SIZE_ALL_ONES:
            return SetSize(0xFFFFFFFF);
        case DAMAGE_INSERTED:
            return Edit(Place(0), 0, 1 + Below(MostBlock), true);
        case DAMAGE_DELETED:
            return Edit(Place(1), 1 + Below(MostBlock), 0, false);
        case DAMAGE_ZEROED:
            return Overwrite(Place(0), 1 + Below(MostBlock), false);
        case DAMAGE_OVERWRITTEN:
            return Overwrite(Place(0), 1 + Below(MostBlock), true);
        case DAMAGE_TWO:
        case DamageKindCount:
            break;
        }
        Damage(DamageKind(Below(DAMAGE_TWO)));
        Damage(DamageKind(Below(DAMAGE_TWO)));
    }

    // The records the damage did not reach, checked against the bytes before it, and those
    // whose data alone it changed.
    void Survivors(const std::vector<unsigned char>& original, DamagedFile& file) const {
        for (const TrackedRecord& record : records_) {
            auto was = original.begin() + record.original;
            if (!record.touched &&
                std::equal(was, was + record.length, bytes_.begin() + record.offset))
                file.survivors.push_back({record.offset, record.length});
            else if (record.inPlace)
                file.changed.push_back({record.offset, record.length});
        }
    }

  private:
    uint32_t Below(uint32_t bound) { return uint32_t(random_() % bound); }
    uint32_t Length() const { return uint32_t(bytes_.size()); }

    // Half the time at or just after a record's header, else anywhere; from `from` to the end.
    uint32_t Place(uint32_t from) {
        if (Length() <= from)
            return Length();
        uint32_t place = from + Below(Length() - from);
        if (Below(2) == 0)
            place = records_[Below(uint32_t(records_.size()))].offset + Below(RecordHeaderSize + 4);
        return std::clamp(place, from, Length());
    }

    // Replaces the `removed` bytes at `offset` with `inserted` ones, random or zero. The records
    // that held a replaced byte, or the place of an insertion inside them, are touched; those
    // behind move.
    void Edit(uint32_t offset, uint32_t removed, uint32_t inserted, bool random) {
        removed = std::min(removed, Length() - offset);
        std::vector<unsigned char> junk(inserted);
        for (unsigned char& byte : junk)
            byte = random ? (unsigned char)random_() : 0;
        bytes_.erase(bytes_.begin() + offset, bytes_.begin() + offset + removed);
        bytes_.insert(bytes_.begin() + offset, junk.begin(), junk.end());
        for (TrackedRecord& record : records_) {
            uint32_t end = record.offset + record.length;
            bool reached = removed ? record.offset < offset + removed && end > offset
                                   : record.offset < offset && end > offset;
            if (reached) {
                record.touched = true;
                record.inPlace = record.inPlace && removed == inserted &&
                                 offset >= record.offset + RecordHeaderSize;
            } else if (record.offset >= offset + removed)
                record.offset = record.offset - removed + inserted;
        }
    }

    void Overwrite(uint32_t offset, uint32_t count, bool random) {
        count = std::min(count, Length() - offset);
        Edit(offset, count, count, random);
    }

    void SetSize(uint32_t size) {
        const TrackedRecord& record = records_[Below(uint32_t(records_.size()))];
        if (record.touched || record.offset + RecordHeaderSize > Length())
            return;
        Overwrite(record.offset + 4, 4, false);
        for (int k = 0; k < 4; ++k)
            bytes_[record.offset + 4 + k] = (unsigned char)(size >> (8 * k));
    }

    std::vector<unsigned char>& bytes_;
    std::mt19937 random_;
    std::vector<TrackedRecord> records_;
};

constexpr std::string_view KindNames[DamageKindCount] = {
    "cut short", "size 1-255", "size 2^25-2^31", "size 0",      "size 0xFFFFFFFF",
    "inserted",  "deleted",    "zeroed",         "overwritten", "two at once",
};

// Whether `record` is in `records` (in file order) from `next` on, which moves up to it.
bool Matches(const std::vector<SurvivingRecord>& records, size_t& next, const Record& record) {
    while (next < records.size() && records[next].offset < record.at.offset)
        ++next;
    return next < records.size() && records[next].offset == record.at.offset &&
           records[next].length == RecordHeaderSize + record.size;
}

constexpr std::string_view KindOptions[DamageKindCount] = {
    "cut",      "size-small", "size-large", "size-zero",   "size-ones",
    "inserted", "deleted",    "zeroed",     "overwritten", "two",
};

} // namespace

bool ParseDamageKind(std::string_view name, DamageKind& kind) {
    for (int k = 0; k < DamageKindCount; ++k)
        if (name == KindOptions[k]) {
            kind = DamageKind(k);
            return true;
        }
    return false;
}

std::string_view DamageKindName(DamageKind kind) {
    return kind < DamageKindCount ? KindNames[kind] : "";
}

DamagedFile DamageSample(SampleShape shape, uint32_t seed, uint32_t size, DamageKind kind) {
    DamagedFile file;
    std::vector<unsigned char> original = GenerateSample(shape, seed, size);
    file.bytes = original;
    Damager damager(file.bytes, seed * 16 + kind);
    damager.Damage(kind);
    damager.Survivors(original, file);
    return file;
}

void SalvageScore::Add(const SalvageScore& other) {
    survivors += other.survivors;
    reported += other.reported;
    found += other.found;
    changed += other.changed;
    files += other.files;
    stillWhole += other.stillWhole;
}

bool ScoreSalvage(const DamagedFile& file, SalvageScore& score) {
    score = {};
    score.files = 1;
    const unsigned char* data = file.bytes.data();
    uint32_t length = uint32_t(file.bytes.size());
    if (CheckModuleInfoFile(data, length).verdict == FILE_ACCEPTED) {
        score.stillWhole = 1;
        return true;
    }
    Salvage salvage;
    if (!SalvageFile(data, length, salvage))
        return false;
    score.survivors = file.survivors.size();
    // All lists are in file order, so one pass matches them.
    size_t survivor = 0;
    size_t changed = 0;
    VisitSalvage(
        file.bytes.data(), salvage,
        [&](const Record& record) {
            if (Matches(file.survivors, survivor, record))
                ++score.found;
            else if (Matches(file.changed, changed, record))
                ++score.changed;
            return true;
        },
        [](const SalvageSpan&) { return true; });
    score.reported = salvage.records - score.changed;
    return true;
}

bool ScoreCorpus(SampleShape shape, DamageKind kind, uint32_t seeds, uint32_t smallest,
                 uint32_t spread, SalvageScore& score) {
    score = {};
    for (uint32_t seed = 1; seed <= seeds; ++seed) {
        SalvageScore one;
        if (!ScoreSalvage(DamageSample(shape, seed, smallest + (seed * 2654435761u) % spread, kind),
                          one))
            return false;
        score.Add(one);
    }
    return true;
}
