// Every data-column kernel this processor runs, against a plain line-by-line model of the dump
// written here from the rules alone, over many generated files.
#include "dump/line_kernel.h"
#include "tests/dump/dump_testing.h"
#include "tests/support/sample_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

constexpr Numeration Modes[] = {NUMERATION_SINGLE, NUMERATION_MULTI, NUMERATION_OFFSET};

// Right-aligned over what the line holds, running on to the left, never past column 0.
void ModelNumber(char* line, size_t lastColumn, uint32_t value) {
    std::string digits = std::to_string(value);
    if (digits.size() > lastColumn + 1)
        digits.erase(0, digits.size() - (lastColumn + 1));
    std::copy(digits.begin(), digits.end(), line + lastColumn + 1 - digits.size());
}

// One line at a time: the header template, then the continuation template applied to the
// line before, exactly as the dump is described. Files must be well formed.
std::string ModelDump(const Bytes& file, Numeration mode) {
    std::string text;
    char line[DumpLineLength];
    uint32_t records = 0, lines = 0, offset = 0;
    while (offset < file.size()) {
        RecordHeader header = ReadRecordHeader(file.data() + offset);
        records += 1;
        lines += 1;
        std::memcpy(line, HeaderLineTemplate, DumpLineLength);
        uint32_t first = offset + RecordHeaderSize;
        ModelNumber(line, NumberLastColumn,
                    mode == NUMERATION_SINGLE   ? lines
                    : mode == NUMERATION_OFFSET ? first
                                                : records);
        std::memcpy(line + TagNameColumn, LookupTagName(header.tag).data(), TagNameLength);
        ModelNumber(line, SizeLastColumn, header.size);
        uint32_t shown = 0, subLine = 0, remaining = header.size;
        for (;;) {
            uint32_t count = remaining < 16 ? remaining : 16;
            for (uint32_t k = 0; k < count; ++k) {
                unsigned char byte = file[first + shown + k];
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02X", byte);
                std::memcpy(line + 32 + size_t(3) * k + (k >= 8 ? 2 : 0), hex, 2);
                line[84 + k] = byte >= 0x20 && byte <= 0x7E ? char(byte) : '.';
            }
            text.append(line, DumpLineLength);
            if (remaining <= 16)
                break;
            shown += 16;
            subLine += 1;
            remaining -= 16;
            for (size_t column = 0; column < DumpLineLength; ++column)
                if (ContinuationLineTemplate[column] != 'T')
                    line[column] = ContinuationLineTemplate[column];
            if (mode == NUMERATION_SINGLE)
                ModelNumber(line, NumberLastColumn, lines += 1);
            else if (mode == NUMERATION_OFFSET)
                ModelNumber(line, NumberLastColumn, first + shown);
            else
                ModelNumber(line, SizeLastColumn, subLine);
        }
        offset = first + header.size;
    }
    return text;
}

// Collects what a walk hands on through a small buffer.
class JoiningSink : public DumpLineSink {
  public:
    bool WriteLines(const char* lines, size_t bytes) override {
        text.append(lines, bytes);
        return true;
    }
    std::string text;
};

struct NamedWriter {
    const char* name;
    DataColumnWriter writer;
};

// The plain writer and every vector writer this processor runs.
std::vector<NamedWriter> AvailableWriters() {
    const NamedWriter all[] = {{"plain", FindDataColumnWriter(LINE_KERNEL_PLAIN)},
                               {"SSSE3", FindDataColumnWriter(LINE_KERNEL_SSSE3)}};
    std::vector<NamedWriter> writers;
    for (const NamedWriter& writer : all)
        if (writer.writer)
            writers.push_back(writer);
    return writers;
}

// The dump through one buffer that holds it all, and through one of a few lines and a sink.
void ExpectEveryWriterGivesTheModel(const Bytes& file, const std::string& what) {
    for (Numeration mode : Modes) {
        std::string expected = ModelDump(file, mode);
        for (const auto& [name, writer] : AvailableWriters()) {
            SCOPED_TRACE(what + ", mode " + std::to_string(int(mode)) + ", " + name);
            std::string whole(expected.size(), '\0');
            ASSERT_EQ(WriteDumpLinesWith(writer, DataOf(file), LengthOf(file), mode, whole.data(),
                                         whole.size(), nullptr, nullptr),
                      DUMP_WALK_COMPLETE);
            ASSERT_TRUE(whole == expected)
                << "first difference at byte "
                << std::mismatch(whole.begin(), whole.end(), expected.begin()).first -
                       whole.begin();
            std::vector<char> small(7 * DumpLineLength + 50);
            JoiningSink sink;
            ASSERT_EQ(WriteDumpLinesWith(writer, DataOf(file), LengthOf(file), mode, small.data(),
                                         small.size(), &sink, nullptr),
                      DUMP_WALK_COMPLETE);
            ASSERT_TRUE(sink.text == expected);
        }
    }
}

TEST(LineKernel, PlainWriterIsInEveryBuild) {
    EXPECT_NE(FindDataColumnWriter(LINE_KERNEL_PLAIN), nullptr);
    EXPECT_NE(BestDataColumnWriter(), nullptr);
}

TEST(LineKernel, EveryWriterShowsEveryByteValueAlike) {
    std::vector<unsigned char> bytes(256);
    for (size_t value = 0; value < bytes.size(); ++value)
        bytes[value] = (unsigned char)(value * 7 + 3); // each value once, in a scrambled order
    const size_t lines = bytes.size() / 16;
    std::string expected(lines * DumpLineLength, '#');
    FindDataColumnWriter(LINE_KERNEL_PLAIN)(expected.data(), bytes.data(), lines);
    EXPECT_EQ(expected.substr(32, 71),
              "03 0A 11 18 1F 26 2D 34 - 3B 42 49 50 57 5E 65 6C | .....&-4;BIPW^el \r\n");
    EXPECT_EQ(expected.substr(0, 32), std::string(32, '#')); // the prefix is not touched
    // Every line of a run, and a run one line short: nothing past it is written.
    for (const auto& [name, writer] : AvailableWriters()) {
        for (size_t count : {lines, lines - 1}) {
            SCOPED_TRACE(std::string(name) + ", " + std::to_string(count) + " lines");
            std::string written(lines * DumpLineLength, '#');
            writer(written.data(), bytes.data(), count);
            EXPECT_EQ(written.substr(0, count * DumpLineLength),
                      expected.substr(0, count * DumpLineLength));
            EXPECT_EQ(written.substr(count * DumpLineLength),
                      std::string((lines - count) * DumpLineLength, '#'));
        }
    }
}

TEST(LineKernel, GeneratedFilesOfEveryShapeMatchTheModel) {
    const SampleShape shapes[] = {SAMPLE_MIXED, SAMPLE_ONE_RECORD, SAMPLE_EMPTY_RECORDS};
    const uint32_t sizes[] = {29, 30, 37, 45, 46, 100, 333, 1000, 4099, 65536, 300001};
    for (SampleShape shape : shapes)
        for (uint32_t size : sizes)
            for (uint32_t seed = 1; seed <= 3; ++seed)
                ExpectEveryWriterGivesTheModel(GenerateSample(shape, seed, size),
                                               "shape " + std::to_string(int(shape)) + ", size " +
                                                   std::to_string(size) + ", seed " +
                                                   std::to_string(seed));
}

TEST(LineKernel, RecordsOfEverySizeUpToFortyMatchTheModel) {
    Bytes file = SignatureOnlyFile();
    uint32_t seed = 12345;
    for (int round = 0; round < 3; ++round) {
        for (uint32_t size = 0; size <= 40; ++size) {
            AppendHeader(file, TagOf(0x0A, 0x56, 0x65, 0x72) + round, size);
            for (uint32_t k = 0; k < size; ++k) {
                seed = seed * 1103515245u + 12345u;
                file.push_back((unsigned char)(seed >> 16));
            }
        }
    }
    ExpectEveryWriterGivesTheModel(file, "sizes 0 to 40");
}

// Sub-line numbers past 100000 reach into column 24; more than a thousand records and lines
// carry the digits above the last three from line to line.
TEST(LineKernel, LargeCountersMatchTheModel) {
    Bytes file = OneBigRecordFile(1600040);
    for (uint32_t i = 0; i < 1500; ++i)
        AppendFilledRecord(file, TagEnd, i % 3 == 0 ? 17 : 0, (unsigned char)i);
    ExpectEveryWriterGivesTheModel(file, "large counters");
}

} // namespace
