#include "dump/tag_count.h"

#include <new>

namespace {

// Where each tag's count stands in `counts`: open addressing over a power of two of slots, at
// most half of them used, each with its tag and the count's place + 1 (0 when free), placed by
// the top bits of a multiplicative hash. A file of millions of distinct tags costs a cache miss
// or so a record, not a node from the heap each.
class TagPlaces {
  public:
    // The count of `tag`, a new one (no records yet) at its first meeting.
    TagCount& Find(uint32_t tag, std::vector<TagCount>& counts) {
        Slot& slot = SlotOf(tag);
        if (slot.place != 0)
            return counts[slot.place - 1];
        counts.push_back({tag, 0, 0, 0});
        slot = {tag, uint32_t(counts.size())};
        if (counts.size() * 2 > slots_.size())
            Grow(counts);
        return counts.back();
    }

  private:
    struct Slot {
        uint32_t tag;
        uint32_t place;
    };

    Slot& SlotOf(uint32_t tag) {
        size_t mask = slots_.size() - 1;
        for (size_t k = (tag * 0x9E3779B1u) >> (32 - bits_);; k = (k + 1) & mask)
            if (slots_[k].place == 0 || slots_[k].tag == tag)
                return slots_[k];
    }

    void Grow(const std::vector<TagCount>& counts) {
        slots_.assign(slots_.size() * 2, {0, 0});
        ++bits_;
        for (size_t k = 0; k < counts.size(); ++k)
            SlotOf(counts[k].tag) = {counts[k].tag, uint32_t(k + 1)};
    }

    unsigned bits_ = 10;
    std::vector<Slot> slots_ = std::vector<Slot>(size_t(1) << bits_);
};

} // namespace

bool CountTags(const unsigned char* data, uint32_t length, const RecordSelection& selection,
               std::vector<TagCount>& counts) {
    counts.clear();
    try {
        TagPlaces places;
        RecordWalk walk = WalkRecords(data, length, {}, [&](const Record& record) {
            if (selection.Selects(record)) {
                TagCount& count = places.Find(record.tag, counts);
                if (count.records == 0)
                    count.first = record.at.record;
                ++count.records;
                count.bytes += record.size;
            }
            return record.Number() < selection.last;
        });
        return walk.end != RECORDS_BROKEN;
    } catch (const std::bad_alloc&) {
        counts.clear();
        return false;
    }
}
