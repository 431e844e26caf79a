// Module-info files built byte by byte, so every test states exactly what it feeds the core.
#pragma once

#include "dump/formatter.h"
#include "dump/module_info.h"
#include "tests/support/recording_target.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<unsigned char>;

// The tag as a 32-bit value from its four bytes in file order.
constexpr uint32_t TagOf(unsigned char b0, unsigned char b1, unsigned char b2, unsigned char b3) {
    return uint32_t(b0) | uint32_t(b1) << 8 | uint32_t(b2) << 16 | uint32_t(b3) << 24;
}

constexpr uint32_t TagSignature = TagOf(0x4D, 0x6F, 0x64, 0x00);
constexpr uint32_t TagVersion = TagOf(0x0A, 0x56, 0x65, 0x72);
constexpr uint32_t TagEnd = TagOf(0x0A, 0x45, 0x6E, 0x64);
constexpr uint32_t TagLabelByTopByte = TagOf(0x10, 0x00, 0x00, 0x31);

inline const std::string_view SignatureV20 = "Module info file v2.0";
inline const std::string_view SignatureV11 = "Module info file v1.1";

inline void AppendUint32(Bytes& file, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        file.push_back(static_cast<unsigned char>(value >> shift));
}

inline void AppendBytes(Bytes& file, std::string_view bytes) {
    file.insert(file.end(), bytes.begin(), bytes.end());
}

// A header whose size may lie about the data that follows it.
inline void AppendHeader(Bytes& file, uint32_t tag, uint32_t size) {
    AppendUint32(file, tag);
    AppendUint32(file, size);
}

inline void AppendRecord(Bytes& file, uint32_t tag, std::string_view data) {
    AppendHeader(file, tag, static_cast<uint32_t>(data.size()));
    AppendBytes(file, data);
}

// A record of `size` data bytes, all `fill`.
inline void AppendFilledRecord(Bytes& file, uint32_t tag, uint32_t size, unsigned char fill = 0) {
    AppendHeader(file, tag, size);
    file.insert(file.end(), size, fill);
}

// The shortest module-info file: the signature record and nothing else (29 bytes).
inline Bytes SignatureOnlyFile(std::string_view signature = SignatureV20) {
    Bytes file;
    AppendRecord(file, TagSignature, signature);
    return file;
}

// A file that is one signature record of `size` data bytes: the signature, then zeros.
inline Bytes OneBigRecordFile(uint32_t size) {
    Bytes file;
    AppendHeader(file, TagSignature, size);
    AppendBytes(file, SignatureV20);
    file.resize(size_t(RecordHeaderSize) + size);
    return file;
}

// The signature record followed by `count` records without data.
inline Bytes EmptyRecordsFile(uint32_t count) {
    Bytes file = SignatureOnlyFile();
    for (uint32_t i = 0; i < count; ++i)
        AppendHeader(file, TagEnd, 0);
    return file;
}

// Three records: a 32-byte signature record, a 4-byte version record and an empty end record.
inline Bytes ThreeRecordFile() {
    Bytes file;
    AppendRecord(file, TagSignature, std::string(SignatureV20) + std::string(11, '\0'));
    AppendRecord(file, TagVersion, std::string("\x01\x02\x00\x00", 4));
    AppendRecord(file, TagEnd, "");
    return file;
}

// A v1.1 signature record with awkward characters after it, then 17 bytes under a tag that
// is only named by its fourth byte.
inline Bytes CharacterFile() {
    Bytes file;
    AppendRecord(file, TagSignature,
                 std::string(SignatureV11) + std::string("\x7F\x80\xFF\x1F\x20\x7E", 6) +
                     std::string(5, '\0'));
    AppendRecord(file, TagLabelByTopByte, "ABCDEFGHIJKLMNOPQ");
    return file;
}

inline std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size(); start += DumpLineLength)
        lines.push_back(text.substr(start, DumpLineLength));
    return lines;
}

// The core never reads the NUL the loader puts after the data, so none is given here: a read
// past the end shows up under the sanitizers.
inline const unsigned char* DataOf(const Bytes& file) {
    static const unsigned char nothing[1] = {0};
    return file.empty() ? nothing : file.data();
}

inline uint32_t LengthOf(const Bytes& file) {
    return static_cast<uint32_t>(file.size());
}

// Every formatter test sets the process-wide numbering it needs; this puts the old value back.
class NumerationTest : public ::testing::Test {
  protected:
    void SetUp() override { savedMode = NumerationMode; }
    void TearDown() override { NumerationMode = savedMode; }

    // The whole dump of `file` in `mode`; the run must succeed without a message.
    static std::string DumpText(const Bytes& file, Numeration mode) {
        NumerationMode = mode;
        RecordingTarget target;
        EXPECT_TRUE(FormatModuleInfo(target, DataOf(file), LengthOf(file)));
        EXPECT_TRUE(target.messages.empty());
        return target.text;
    }

  private:
    Numeration savedMode = NUMERATION_MULTI;
};
