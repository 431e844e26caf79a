// Progress texts: when FormatModuleInfo reports, and what ReportProgress computes.
#include "dump/formatter.h"
#include "tests/dump/dump_testing.h"
#include "tests/support/recording_target.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ProgressTest = NumerationTest;
using Texts = std::vector<std::string>;

Texts ProgressOf(const Bytes& file) {
    RecordingTarget target;
    EXPECT_TRUE(FormatModuleInfo(target, DataOf(file), LengthOf(file)));
    return target.progress;
}

std::string ReportAt(uint32_t offset, uint32_t length) {
    std::vector<unsigned char> data(size_t(length) + 1, 0);
    RecordingTarget target;
    ReportProgress(target, data.data() + offset, data.data(), length);
    EXPECT_EQ(target.progress.size(), 1u);
    return target.progress.empty() ? std::string() : target.progress[0];
}

TEST_F(ProgressTest, SmallFileReportsOnlyTheStart) {
    RecordingTarget target;
    Bytes file = ThreeRecordFile();
    ASSERT_TRUE(FormatModuleInfo(target, DataOf(file), LengthOf(file)));
    EXPECT_EQ(target.events, Texts({"progress Opened... 0%", "text"}));
}

TEST_F(ProgressTest, TwentyThousandRecordsReportTwice) {
    NumerationMode = NUMERATION_MULTI;
    EXPECT_EQ(ProgressOf(EmptyRecordsFile(19999)), Texts({"Opened... 0%", "Opened... 50%"}));
}

TEST_F(ProgressTest, EveryTenThousandRecordsRoundedDownNeverHundred) {
    // The 20,001st record starts 8 bytes before the end: 99.995% shows as 99.
    NumerationMode = NUMERATION_MULTI;
    Bytes file = EmptyRecordsFile(20000);
    ASSERT_EQ(file.size(), 160029u);
    EXPECT_EQ(ProgressOf(file), Texts({"Opened... 0%", "Opened... 50%", "Opened... 99%"}));
}

TEST_F(ProgressTest, EveryTenThousandSubLinesOfABigRecord) {
    // Sub-line 10,000k starts at data offset 160,000k from the record: 160,000k of 1,600,024.
    NumerationMode = NUMERATION_MULTI;
    EXPECT_EQ(ProgressOf(OneBigRecordFile(1600016)),
              Texts({"Opened... 0%", "Opened... 9%", "Opened... 19%", "Opened... 29%",
                     "Opened... 39%", "Opened... 49%", "Opened... 59%", "Opened... 69%",
                     "Opened... 79%", "Opened... 89%", "Opened... 99%"}));
}

TEST_F(ProgressTest, SubLineProgressDoesNotDependOnTheMode) {
    Bytes file = OneBigRecordFile(320016);
    NumerationMode = NUMERATION_SINGLE;
    Texts single = ProgressOf(file);
    NumerationMode = NUMERATION_OFFSET;
    Texts offset = ProgressOf(file);
    EXPECT_EQ(single, Texts({"Opened... 0%", "Opened... 49%", "Opened... 99%"}));
    EXPECT_EQ(offset, single);
}

TEST_F(ProgressTest, SubLinesCountFromTheStartOfTheirRecord) {
    // A 160,016-byte record after 10,000 empty ones: its sub-line 10,000 starts 160,000 bytes
    // into the record, at 80,029 + 160,000 of 240,053 bytes.
    NumerationMode = NUMERATION_MULTI;
    Bytes file = EmptyRecordsFile(10000);
    AppendFilledRecord(file, TagVersion, 160016);
    ASSERT_EQ(file.size(), 240053u);
    EXPECT_EQ(ProgressOf(file), Texts({"Opened... 0%", "Opened... 33%", "Opened... 99%"}));
}

TEST(ReportProgress, ShowsTheRoundedDownPercentage) {
    EXPECT_EQ(ReportAt(0, 100), "Opened... 0%");
    EXPECT_EQ(ReportAt(37, 100), "Opened... 37%");
    EXPECT_EQ(ReportAt(2, 3), "Opened... 66%");
    EXPECT_EQ(ReportAt(1, 1), "Opened... 100%");
}

TEST(ReportProgress, LargestFileDoesNotOverflow) {
    // 31,999,999 x 100 needs the full unsigned 32-bit range.
    EXPECT_EQ(ReportAt(31999999, 32000000), "Opened... 99%");
    EXPECT_EQ(ReportAt(21474837, 32000000), "Opened... 67%");
}

} // namespace
