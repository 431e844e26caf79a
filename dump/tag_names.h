// The tag-name lookup behind LookupTagName, for the line writer to call inline.
#pragma once

#include "dump/module_info.h"

#include <cstdint>

// The name of every tag without a branch on the tag: a direct-mapped table of the exact tags,
// with a hash multiplier searched so that no two of them share a slot, and a table by the
// fourth byte for everything else. The first entry of a tag wins in both, as a scan of the
// table from the front up to its end marker, the last entry, would find it.
class TagNames {
  public:
    TagNames();

    // Half of all tags in a file may miss the exact table at random, so the choice is made
    // with a mask rather than a branch the processor would guess wrong.
    const char* Find(uint32_t tag) const {
        const Slot& slot = slots_[SlotOf(tag)];
        unsigned byTopByte = byTopByte_[tag >> 24];
        unsigned exact = 0u - unsigned(slot.tag == tag);
        return TagNameTable[byTopByte ^ ((slot.index ^ byTopByte) & exact)].name;
    }

  private:
    static constexpr unsigned SlotBits = 10;
    static constexpr unsigned SlotCount = 1u << SlotBits;
    static_assert(SlotCount >= 8 * TagNameCount && TagNameCount <= 256);

    struct Slot {
        uint32_t tag;
        uint8_t index; // into TagNameTable
        bool used;
    };

    static uint8_t IndexOf(uint32_t tag);
    unsigned SlotOf(uint32_t tag) const { return (tag * multiplier_) >> (32 - SlotBits); }
    bool PlaceExactTags();

    uint32_t multiplier_ = 0x9E3779B1u;
    Slot slots_[SlotCount] = {};
    uint8_t byTopByte_[256] = {};
};

// The one instance, built on first use.
const TagNames& TagNamesOnce();
