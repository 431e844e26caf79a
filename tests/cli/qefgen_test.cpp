#include "tests/cli/cli_testing.h"

#include "dump/formatter.h"
#include "dump/module_info.h"
#include "tests/support/sample_files.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace {

std::string AsText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// FNV-1a: pins the generator's output across compilers and standard libraries.
uint64_t Fingerprint(const Bytes& bytes) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 0x100000001B3ull;
    return hash;
}

std::vector<RecordHeader> Records(const Bytes& file) {
    std::vector<RecordHeader> records;
    for (size_t offset = 0; offset + RecordHeaderSize <= file.size();) {
        records.push_back(ReadRecordHeader(file.data() + offset));
        offset += RecordHeaderSize + records.back().size;
    }
    return records;
}

bool IsInTable(uint32_t tag) {
    for (const TagNameEntry& entry : TagNameTable)
        if (entry.tag == tag)
            return true;
    return false;
}

class SampleShapeTest
    : public ::testing::TestWithParam<std::tuple<SampleShape, uint32_t /*size*/>> {};

TEST_P(SampleShapeTest, IsASignedWellFormedFileOfExactlyTheSize) {
    auto [shape, size] = GetParam();
    Bytes file = GenerateSample(shape, 11, size);
    ASSERT_EQ(file.size(), size);
    EXPECT_EQ(AsText(Bytes(file.begin(), file.begin() + 4)), std::string("Mod\0", 4));
    EXPECT_EQ(AsText(Bytes(file.begin() + 8, file.begin() + 29)), "Module info file v2.0");
    DumpPlan plan = PlanDump(file.data(), size);
    EXPECT_TRUE(plan.complete);
}

TEST_P(SampleShapeTest, IsTheSameForTheSameSeed) {
    auto [shape, size] = GetParam();
    EXPECT_TRUE(GenerateSample(shape, 42, size) == GenerateSample(shape, 42, size));
}

INSTANTIATE_TEST_SUITE_P(
    ShapesAndSizes, SampleShapeTest,
    ::testing::Combine(::testing::Values(SAMPLE_MIXED, SAMPLE_ONE_RECORD, SAMPLE_EMPTY_RECORDS),
                       ::testing::Values(29u, 30u, 36u, 37u, 45u, 1000u, 123457u)));

TEST(SampleFiles, DifferForDifferentSeeds) {
    EXPECT_FALSE(GenerateSample(SAMPLE_MIXED, 1, 10000) == GenerateSample(SAMPLE_MIXED, 2, 10000));
}

TEST(SampleFiles, KeepTheirBytesAcrossPlatforms) {
    EXPECT_EQ(Fingerprint(GenerateSample(SAMPLE_MIXED, 1, 100000)), 0xB0368664BFB34C78ull);
    EXPECT_EQ(Fingerprint(GenerateSample(SAMPLE_EMPTY_RECORDS, 1, 100000)), 0x17E1FAB644AC6B3Aull);
}

TEST(SampleFiles, EmptyRecordsFillTheLargestFile) {
    Bytes file = GenerateSample(SAMPLE_EMPTY_RECORDS, 1, MaxModuleInfoLength);
    DumpPlan plan = PlanDump(file.data(), uint32_t(file.size()));
    EXPECT_TRUE(plan.complete);
    EXPECT_EQ(plan.recordCount, 3999997u);
    EXPECT_EQ(plan.lineCount, 3999996u + 2u); // the 24-byte signature record takes two lines
}

TEST(SampleFiles, OneRecordIsTheSignatureAndOneMore) {
    std::vector<RecordHeader> records = Records(GenerateSample(SAMPLE_ONE_RECORD, 3, 1000));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].size, 21u);
    EXPECT_EQ(records[1].size, 1000u - 29u - 8u);
}

TEST(SampleFiles, MixedHoldsEveryKindOfRecordAndByte) {
    Bytes file = GenerateSample(SAMPLE_MIXED, 1, 1000000);
    std::set<uint32_t> sizes;
    bool knownTag = false, topByteTag = false, unknownTag = false, largeRecord = false;
    for (const RecordHeader& record : Records(file)) {
        sizes.insert(record.size);
        largeRecord |= record.size >= 4096;
        std::string_view name = LookupTagName(record.tag);
        knownTag |= IsInTable(record.tag) && name != "??_UNKNOWN  ";
        topByteTag |= !IsInTable(record.tag) && name != "??_UNKNOWN  ";
        unknownTag |= name == "??_UNKNOWN  ";
    }
    EXPECT_TRUE(sizes.count(0) && sizes.count(16) && sizes.count(17));
    EXPECT_TRUE(largeRecord);
    EXPECT_TRUE(knownTag && topByteTag && unknownTag);
    EXPECT_EQ(std::set<unsigned char>(file.begin(), file.end()).size(), 256u);
}

TEST(SampleFiles, ParseTheShapeNames) {
    SampleShape shape = SAMPLE_MIXED;
    EXPECT_TRUE(ParseSampleShape("empty-records", shape));
    EXPECT_EQ(shape, SAMPLE_EMPTY_RECORDS);
    EXPECT_TRUE(ParseSampleShape("one-record", shape));
    EXPECT_EQ(shape, SAMPLE_ONE_RECORD);
    EXPECT_TRUE(ParseSampleShape("mixed", shape));
    EXPECT_EQ(shape, SAMPLE_MIXED);
    EXPECT_FALSE(ParseSampleShape("Mixed", shape));
}

class QefgenTest : public ::testing::Test {
  protected:
    CommandResult Qefgen(const std::string& arguments) {
        return RunCommand(ToolCommand(QEFGEN_PATH) + " " + arguments, scratch_.Path());
    }

    TempFolder folder_;

  private:
    TempFolder scratch_;
};

TEST_F(QefgenTest, WritesTheSampleToStandardOutputByDefault) {
    CommandResult result = Qefgen("");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out == AsText(GenerateSample(SAMPLE_MIXED, 1, 1000000)));
}

TEST_F(QefgenTest, WritesTheChosenSampleIntoAFile) {
    CommandResult result =
        Qefgen("--shape empty-records --seed 5 --size 5000 -o " + Quoted(folder_ / "sample.qef"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(ReadFileText(folder_ / "sample.qef") ==
                AsText(GenerateSample(SAMPLE_EMPTY_RECORDS, 5, 5000)));
}

TEST_F(QefgenTest, RefusesASizeBelowTheSignatureRecord) {
    CommandResult result = Qefgen("--size 28");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
}

} // namespace
