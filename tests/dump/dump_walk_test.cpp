// The header pass (PlanDump) and the line writer behind every dump (WriteDumpLines).
#include "dump/formatter.h"
#include "tests/dump/dump_testing.h"
#include "tests/support/recording_target.h"
#include "tests/support/sample_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using DumpWalkTest = NumerationTest;

class RecordingSink : public DumpLineSink {
  public:
    explicit RecordingSink(size_t acceptedChunks = SIZE_MAX) : accepted(acceptedChunks) {}

    bool WriteLines(const char* lines, size_t bytes) override {
        chunks.emplace_back(lines, bytes);
        return chunks.size() < accepted;
    }

    std::string Joined() const {
        std::string text;
        for (const std::string& chunk : chunks)
            text += chunk;
        return text;
    }

    std::vector<std::string> chunks;

  private:
    size_t accepted;
};

// A file that breaks after the signature record: it declares one byte more than is there.
Bytes BrokenAfterSignature() {
    Bytes file = SignatureOnlyFile();
    AppendHeader(file, TagVersion, 5);
    AppendBytes(file, "1234");
    return file;
}

DumpPlan Plan(const Bytes& file) {
    return PlanDump(DataOf(file), LengthOf(file));
}

// --- PlanDump ---

TEST(PlanDump, CountsLinesAndRecordsOfAWholeFile) {
    DumpPlan plan = Plan(ThreeRecordFile());
    EXPECT_EQ(plan.lineCount, 4u);
    EXPECT_EQ(plan.recordCount, 3u);
    EXPECT_TRUE(plan.complete);
}

TEST(PlanDump, CountsOneLineForEmptyRecordsAndOnePerStartedSixteenBytes) {
    Bytes file = SignatureOnlyFile();         // 2 lines
    AppendFilledRecord(file, TagVersion, 0);  // 1
    AppendFilledRecord(file, TagVersion, 16); // 1
    AppendFilledRecord(file, TagVersion, 17); // 2
    AppendFilledRecord(file, TagVersion, 32); // 2
    AppendFilledRecord(file, TagVersion, 33); // 3
    DumpPlan plan = Plan(file);
    EXPECT_EQ(plan.lineCount, 11u);
    EXPECT_EQ(plan.recordCount, 6u);
    EXPECT_TRUE(plan.complete);
}

// Empty records are counted several at a time: a record with data at any place among them, or
// a tail too short for a header after them, must still be found where it is.
TEST(PlanDump, CountsRunsOfEmptyRecordsUpToTheRecordOrTailThatEndsThem) {
    const int Records = 9;
    for (int sized = 0; sized <= Records; ++sized) { // the record with data; Records: none
        for (uint32_t tail = 0; tail < RecordHeaderSize; ++tail) {
            Bytes file = SignatureOnlyFile();
            for (int k = 0; k < Records; ++k)
                AppendFilledRecord(file, TagVersion, k == sized ? 17 : 0);
            AppendBytes(file, std::string(tail, '\0'));
            DumpPlan plan = Plan(file);
            SCOPED_TRACE("record with data " + std::to_string(sized) + ", tail " +
                         std::to_string(tail));
            EXPECT_EQ(plan.recordCount, 1u + Records);
            EXPECT_EQ(plan.lineCount, 2u + Records + (sized < Records ? 1 : 0));
            EXPECT_EQ(plan.complete, tail == 0);
            if (tail != 0) {
                EXPECT_EQ(plan.brokenOffset, file.size() - tail);
                EXPECT_EQ(plan.bytesLeft, tail);
            }
        }
    }
}

TEST(PlanDump, FindsWhereTheChainBreaks) {
    DumpPlan plan = Plan(BrokenAfterSignature());
    EXPECT_EQ(plan.lineCount, 2u);
    EXPECT_EQ(plan.recordCount, 1u);
    EXPECT_FALSE(plan.complete);
    EXPECT_EQ(plan.brokenOffset, 29u);
    EXPECT_EQ(plan.brokenSize, 5u);
    EXPECT_EQ(plan.bytesLeft, 12u); // the header and the four bytes after it
}

TEST(PlanDump, LargestSizeBreaksTheChain) {
    Bytes file = SignatureOnlyFile();
    AppendHeader(file, TagVersion, 0xFFFFFFFF);
    DumpPlan plan = Plan(file);
    EXPECT_FALSE(plan.complete);
    EXPECT_EQ(plan.recordCount, 1u);
    EXPECT_EQ(plan.brokenOffset, 29u);
    EXPECT_EQ(plan.brokenSize, 0xFFFFFFFFu);
    EXPECT_EQ(plan.bytesLeft, 8u);
}

TEST(PlanDump, TruncatedHeaderDeclaresNoSize) {
    Bytes file = SignatureOnlyFile();
    AppendBytes(file, std::string_view("\x0A\x56\x65\x72\x05\x00\x00", 7)); // a header cut short
    DumpPlan plan = Plan(file);
    EXPECT_FALSE(plan.complete);
    EXPECT_EQ(plan.lineCount, 2u);
    EXPECT_EQ(plan.recordCount, 1u);
    EXPECT_EQ(plan.brokenOffset, 29u);
    EXPECT_EQ(plan.brokenSize, 0u);
    EXPECT_EQ(plan.bytesLeft, 7u);
}

TEST(PlanDump, CountsWhatTheFormatterReserves) {
    Bytes file = GenerateSample(SAMPLE_MIXED, 7, 300000);
    DumpPlan plan = Plan(file);
    ASSERT_TRUE(plan.complete);
    RecordingTarget target;
    ASSERT_TRUE(FormatModuleInfo(target, DataOf(file), LengthOf(file)));
    EXPECT_EQ(target.text.size(), plan.lineCount * DumpLineLength);
    EXPECT_EQ(target.allocatedBytes, plan.lineCount * DumpLineLength + 1);
}

// --- WriteDumpLines with a sink ---

TEST_F(DumpWalkTest, ChunksJoinedAreTheWholeDumpInEveryMode) {
    const size_t capacity = 3 * DumpLineLength + 50;
    std::vector<char> buffer(capacity);
    const Bytes samples[] = {
        GenerateSample(SAMPLE_MIXED, 1, 200000),
        GenerateSample(SAMPLE_ONE_RECORD, 2, 5000),
        GenerateSample(SAMPLE_EMPTY_RECORDS, 3, 4000),
        CharacterFile(),
    };
    for (const Bytes& file : samples) {
        for (Numeration mode : {NUMERATION_SINGLE, NUMERATION_MULTI, NUMERATION_OFFSET}) {
            SCOPED_TRACE(testing::Message() << file.size() << " bytes, mode " << mode);
            RecordingSink sink;
            ASSERT_EQ(WriteDumpLines(DataOf(file), LengthOf(file), mode, buffer.data(), capacity,
                                     &sink, nullptr),
                      DUMP_WALK_COMPLETE);
            for (const std::string& chunk : sink.chunks) {
                EXPECT_GT(chunk.size(), 0u);
                EXPECT_LE(chunk.size(), capacity);
                EXPECT_EQ(chunk.size() % DumpLineLength, 0u);
            }
            EXPECT_EQ(sink.Joined(), DumpText(file, mode));
        }
    }
}

TEST_F(DumpWalkTest, SinkSeesFullBuffersExceptTheLast) {
    RecordingSink sink;
    std::vector<char> buffer(3 * DumpLineLength + 50);
    Bytes file = CharacterFile(); // 4 lines
    ASSERT_EQ(WriteDumpLines(DataOf(file), LengthOf(file), NUMERATION_MULTI, buffer.data(),
                             buffer.size(), &sink, nullptr),
              DUMP_WALK_COMPLETE);
    ASSERT_EQ(sink.chunks.size(), 2u);
    EXPECT_EQ(sink.chunks[0].size(), 3 * DumpLineLength);
    EXPECT_EQ(sink.chunks[1].size(), DumpLineLength);
}

TEST_F(DumpWalkTest, SinkReturningFalseStopsTheWalk) {
    RecordingSink sink(1);
    std::vector<char> buffer(2 * DumpLineLength);
    Bytes file = ThreeRecordFile(); // 4 lines
    EXPECT_EQ(WriteDumpLines(DataOf(file), LengthOf(file), NUMERATION_MULTI, buffer.data(),
                             buffer.size(), &sink, nullptr),
              DUMP_WALK_STOPPED);
    ASSERT_EQ(sink.chunks.size(), 1u);
    EXPECT_EQ(sink.chunks[0], DumpText(file, NUMERATION_MULTI).substr(0, 2 * DumpLineLength));
}

TEST_F(DumpWalkTest, BufferBelowOneLineStopsWithASink) {
    RecordingSink sink;
    std::vector<char> buffer(DumpLineLength - 1);
    Bytes file = ThreeRecordFile();
    EXPECT_EQ(WriteDumpLines(DataOf(file), LengthOf(file), NUMERATION_MULTI, buffer.data(),
                             buffer.size(), &sink, nullptr),
              DUMP_WALK_STOPPED);
    for (const std::string& chunk : sink.chunks)
        EXPECT_TRUE(chunk.empty());
}

TEST_F(DumpWalkTest, FormatErrorComesAfterTheLinesBeforeIt) {
    RecordingSink sink;
    RecordingTarget progress;
    std::vector<char> buffer(10 * DumpLineLength);
    Bytes file = BrokenAfterSignature();
    EXPECT_EQ(WriteDumpLines(DataOf(file), LengthOf(file), NUMERATION_MULTI, buffer.data(),
                             buffer.size(), &sink, &progress),
              DUMP_WALK_FORMAT_ERROR);
    EXPECT_EQ(sink.Joined(), DumpText(SignatureOnlyFile(), NUMERATION_MULTI));
    EXPECT_EQ(progress.events, std::vector<std::string>({"progress Opened... 0%"}));
}

TEST_F(DumpWalkTest, ProgressGoesToTheGivenTarget) {
    RecordingSink sink;
    RecordingTarget progress;
    std::vector<char> buffer(64 * DumpLineLength);
    Bytes file = EmptyRecordsFile(20000);
    ASSERT_EQ(WriteDumpLines(DataOf(file), LengthOf(file), NUMERATION_MULTI, buffer.data(),
                             buffer.size(), &sink, &progress),
              DUMP_WALK_COMPLETE);
    EXPECT_EQ(progress.progress,
              std::vector<std::string>({"Opened... 0%", "Opened... 50%", "Opened... 99%"}));
    EXPECT_TRUE(progress.messages.empty());
}

// --- WriteDumpLines without a sink ---

TEST_F(DumpWalkTest, WithoutASinkTheLinesStayInTheBuffer) {
    Bytes file = CharacterFile();
    std::vector<char> buffer(4 * DumpLineLength);
    EXPECT_EQ(WriteDumpLines(DataOf(file), LengthOf(file), NUMERATION_OFFSET, buffer.data(),
                             buffer.size(), nullptr, nullptr),
              DUMP_WALK_COMPLETE);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), DumpText(file, NUMERATION_OFFSET));
}

TEST_F(DumpWalkTest, WithoutASinkAFullBufferStopsBeforeOverflowing) {
    Bytes file = ThreeRecordFile(); // 4 lines
    const size_t capacity = 2 * DumpLineLength + 50;
    std::vector<char> buffer(capacity + 64, '#');
    EXPECT_EQ(WriteDumpLines(DataOf(file), LengthOf(file), NUMERATION_MULTI, buffer.data(),
                             capacity, nullptr, nullptr),
              DUMP_WALK_STOPPED);
    EXPECT_EQ(std::string(buffer.data(), 2 * DumpLineLength),
              DumpText(file, NUMERATION_MULTI).substr(0, 2 * DumpLineLength));
    EXPECT_EQ(std::string(buffer.data() + 2 * DumpLineLength, 50 + 64), std::string(114, '#'));
}

TEST_F(DumpWalkTest, WithoutASinkNoBufferAtAllStops) {
    Bytes file = ThreeRecordFile();
    char guard = '#';
    EXPECT_EQ(
        WriteDumpLines(DataOf(file), LengthOf(file), NUMERATION_MULTI, &guard, 0, nullptr, nullptr),
        DUMP_WALK_STOPPED);
    EXPECT_EQ(guard, '#');
}

} // namespace
