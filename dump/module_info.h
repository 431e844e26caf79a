// Module-info records: the record header, the file signature and the tag names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A record is a 4-byte tag, a 4-byte size and then `size` data bytes, little-endian,
// one after the other from offset 0 with no padding.
constexpr uint32_t RecordHeaderSize = 8;

// The largest file that is dumped: every number of its dump has at most eight digits.
constexpr uint32_t MaxModuleInfoLength = 32000000;

// Bytes 8 to 28 of a module-info file hold one of the two signature texts.
constexpr uint32_t SignatureOffset = 8;
constexpr uint32_t SignatureLength = 21;

constexpr size_t TagNameLength = 12;

struct TagNameEntry {
    char name[16]; // space-padded to 13 characters, then NULs; 12 are shown
    uint32_t tag;
};

constexpr int TagNameCount = 70;
extern const TagNameEntry TagNameTable[TagNameCount];

struct RecordHeader {
    uint32_t tag;
    uint32_t size;
};

inline uint32_t ReadUint32Le(const unsigned char* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

// The caller makes sure RecordHeaderSize bytes are there.
inline RecordHeader ReadRecordHeader(const unsigned char* record) {
    return {ReadUint32Le(record), ReadUint32Le(record + 4)};
}

// Exactly TagNameLength characters; never fails ("??_UNKNOWN" for anything unnamed).
std::string_view LookupTagName(uint32_t tag);

bool IsModuleInfoFile(const unsigned char* data, uint32_t length);
