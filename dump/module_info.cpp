#include "dump/module_info.h"

#include "dump/tag_names.h"

#include <cstring>

namespace {

// The tag as a 32-bit value from its four bytes in file order.
constexpr uint32_t Tag(unsigned char b0, unsigned char b1, unsigned char b2, unsigned char b3) {
    return uint32_t(b0) | uint32_t(b1) << 8 | uint32_t(b2) << 16 | uint32_t(b3) << 24;
}

constexpr uint32_t TagEndMarker = Tag(0x0A, 'E', 'n', 'd');
constexpr uint32_t TagUnknown = 0xFFFFFFFF;
constexpr uint32_t TopByteMask = 0xFF000000;

const char SignatureV20[] = "Module info file v2.0";
const char SignatureV11[] = "Module info file v1.1";
static_assert(sizeof SignatureV20 - 1 == SignatureLength &&
              sizeof SignatureV11 - 1 == SignatureLength);

} // namespace

// Names padded to 13 characters; the array size adds the NULs.
const TagNameEntry TagNameTable[TagNameCount] = {
    {"MI_SIGNATURE ", Tag(0x4D, 0x6F, 0x64, 0x00)}, {"MI_VERSION   ", Tag(0x0A, 0x56, 0x65, 0x72)},
    {"MI_FILENAME  ", Tag(0x0A, 0x46, 0x69, 0x6C)}, {"MI_FILESIZE  ", Tag(0x0A, 0x53, 0x69, 0x7A)},
    {"MI_TIMESTAMP ", Tag(0x0A, 0x54, 0x73, 0x74)}, {"MI_SFXENTRY  ", Tag(0x0A, 0x53, 0x66, 0x65)},
    {"MI_PATCH     ", Tag(0x0A, 0x50, 0x61, 0x74)}, {"MI_USER      ", Tag(0x0A, 0x55, 0x73, 0x00)},
    {"MI_PROCDATA  ", Tag(0x0A, 0x50, 0x72, 0x63)}, {"MI_SWDATA    ", Tag(0x0A, 0x53, 0x77, 0x69)},
    {"MI_CALLFINT  ", Tag(0x0A, 0x43, 0x66, 0x69)}, {"MI_CALLFMOD  ", Tag(0x0A, 0x43, 0x66, 0x6D)},
    {"MI_CALLFABS  ", Tag(0x0A, 0x43, 0x66, 0x61)}, {"MI_INT3BREAK ", Tag(0x0A, 0x42, 0x70, 0x74)},
    {"MI_INT3BRKC  ", Tag(0x0A, 0x42, 0x70, 0x63)}, {"MI_HDWRBREAK ", Tag(0x0A, 0x48, 0x62, 0x72)},
    {"MI_JDDATA    ", Tag(0x0A, 0x4A, 0x64, 0x74)}, {"MI_ANALYSIS  ", Tag(0x0A, 0x41, 0x6E, 0x61)},
    {"MI_ANALPACK  ", Tag(0x0A, 0x41, 0x6E, 0x63)}, {"MI_AHINT     ", Tag(0x0A, 0x41, 0x68, 0x74)},
    {"MI_TRACE     ", Tag(0x0A, 0x54, 0x72, 0x61)}, {"MI_TRACEPACK ", Tag(0x0A, 0x54, 0x72, 0x63)},
    {"MI_CODECRC   ", Tag(0x0A, 0x43, 0x63, 0x72)}, {"MI_SAVEAREA  ", Tag(0x0A, 0x53, 0x76, 0x61)},
    {"NM_NONAME    ", Tag(0x00, 0x00, 0x00, 0x00)}, {"??_UNKNOWN   ", Tag(0xFF, 0xFF, 0xFF, 0xFF)},
    {"NM_ANYNAME   ", Tag(0x00, 0x00, 0x00, 0xFF)}, {"NM_PLUGCMD   ", Tag(0x00, 0x00, 0x00, 0x30)},
    {"NM_LABEL     ", Tag(0x00, 0x00, 0x00, 0x31)}, {"NM_EXPORT    ", Tag(0x00, 0x00, 0x00, 0x32)},
    {"NM_IMPORT    ", Tag(0x00, 0x00, 0x00, 0x33)}, {"NM_LIBRARY   ", Tag(0x00, 0x00, 0x00, 0x34)},
    {"NM_CONST     ", Tag(0x00, 0x00, 0x00, 0x35)}, {"NM_COMMENT   ", Tag(0x00, 0x00, 0x00, 0x36)},
    {"NM_LIBCOMM   ", Tag(0x00, 0x00, 0x00, 0x37)}, {"NM_BREAK     ", Tag(0x00, 0x00, 0x00, 0x38)},
    {"NM_ARG       ", Tag(0x00, 0x00, 0x00, 0x39)}, {"NM_ANALYSE   ", Tag(0x00, 0x00, 0x00, 0x3A)},
    {"NM_BREAKEXPR ", Tag(0x00, 0x00, 0x00, 0x3B)}, {"NM_BREAKEXPL ", Tag(0x00, 0x00, 0x00, 0x3C)},
    {"NM_ASSUME    ", Tag(0x00, 0x00, 0x00, 0x3D)}, {"NM_STRUCT    ", Tag(0x00, 0x00, 0x00, 0x3E)},
    {"NM_CASE      ", Tag(0x00, 0x00, 0x00, 0x3F)}, {"NM_INSPECT   ", Tag(0x00, 0x00, 0x00, 0x40)},
    {"NM_WATCH     ", Tag(0x00, 0x00, 0x00, 0x41)}, {"NM_ASM       ", Tag(0x00, 0x00, 0x00, 0x42)},
    {"NM_FINDASM   ", Tag(0x00, 0x00, 0x00, 0x43)}, {"NM_LASTWATCH ", Tag(0x00, 0x00, 0x00, 0x48)},
    {"NM_SOURCE    ", Tag(0x00, 0x00, 0x00, 0x49)}, {"NM_REFTXT    ", Tag(0x00, 0x00, 0x00, 0x4A)},
    {"NM_GOTO      ", Tag(0x00, 0x00, 0x00, 0x4B)}, {"NM_GOTODUMP  ", Tag(0x00, 0x00, 0x00, 0x4C)},
    {"NM_TRPAUSE   ", Tag(0x00, 0x00, 0x00, 0x4D)}, {"NM_IMCALL    ", Tag(0x00, 0x00, 0x00, 0xFE)},
    {"NMHISTORY    ", Tag(0x00, 0x00, 0x00, 0x40)}, {"MI_FCR       ", Tag(0x0A, 0x46, 0x63, 0x72)},
    {"MI_NAM       ", Tag(0x0A, 0x4E, 0x61, 0x6D)}, {"MI_DAT       ", Tag(0x0A, 0x44, 0x61, 0x74)},
    {"MI_CHR       ", Tag(0x0A, 0x43, 0x62, 0x72)}, {"MI_LBR       ", Tag(0x0A, 0x4C, 0x62, 0x72)},
    {"MI_CAS       ", Tag(0x0A, 0x43, 0x61, 0x73)}, {"MI_PRD       ", Tag(0x0A, 0x50, 0x72, 0x64)},
    {"MI_LSA       ", Tag(0x0A, 0x4C, 0x73, 0x61)}, {"MI_SAV       ", Tag(0x0A, 0x53, 0x61, 0x76)},
    {"MI_RTC       ", Tag(0x0A, 0x52, 0x74, 0x63)}, {"MI_RTP       ", Tag(0x0A, 0x52, 0x74, 0x70)},
    {"MI_BPH       ", Tag(0x0A, 0x42, 0x70, 0x68)}, {"MI_MBA       ", Tag(0x0A, 0x4D, 0x62, 0x61)},
    {"MI_BPM       ", Tag(0x0A, 0x42, 0x70, 0x6D)}, {"MI_END       ", TagEndMarker},
};

TagNames::TagNames() {
    // The tag table is fixed; with eight times as many slots as tags a few tries do.
    while (!PlaceExactTags())
        multiplier_ += 2;
    uint8_t unknown = IndexOf(TagUnknown);
    for (uint8_t& index : byTopByte_)
        index = unknown;
    for (int i = TagNameCount - 1; i >= 0; --i)
        if ((TagNameTable[i].tag & ~TopByteMask) == 0)
            byTopByte_[TagNameTable[i].tag >> 24] = uint8_t(i);
}

uint8_t TagNames::IndexOf(uint32_t tag) {
    uint8_t i = 0;
    while (TagNameTable[i].tag != tag)
        ++i;
    return i;
}

bool TagNames::PlaceExactTags() {
    // An empty slot holds a tag that hashes elsewhere, so that it never matches.
    for (unsigned slot = 0; slot < SlotCount; ++slot) {
        uint32_t stranger = 0;
        while (SlotOf(stranger) == slot)
            ++stranger;
        slots_[slot] = {stranger, 0, false};
    }
    for (int i = 0; i < TagNameCount; ++i) {
        Slot& slot = slots_[SlotOf(TagNameTable[i].tag)];
        if (slot.used && slot.tag != TagNameTable[i].tag)
            return false;
        if (!slot.used)
            slot = {TagNameTable[i].tag, uint8_t(i), true};
    }
    return true;
}

// Built once: the table behind it never changes.
const TagNames& TagNamesOnce() {
    static const TagNames names;
    return names;
}

std::string_view LookupTagName(uint32_t tag) {
    return {TagNamesOnce().Find(tag), TagNameLength};
}

bool IsModuleInfoFile(const unsigned char* data, uint32_t length) {
    if (length < SignatureOffset + SignatureLength)
        return false;
    const unsigned char* signature = data + SignatureOffset;
    return std::memcmp(signature, SignatureV20, SignatureLength) == 0 ||
           std::memcmp(signature, SignatureV11, SignatureLength) == 0;
}
