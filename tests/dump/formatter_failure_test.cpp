// FormatModuleInfo's refusals and failures: texts, captions, icons, the order of the effects,
// the output buffer's life and the target's text that must survive a failed run.
#include "dump/formatter.h"
#include "tests/dump/dump_testing.h"
#include "tests/support/recording_target.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using FormatterFailureTest = NumerationTest;
using Events = std::vector<std::string>;

const char PreviousText[] = "previous text";

// Also checks that the block given back is the block handed out, and how the text arrives.
class TrackingTarget : public RecordingTarget {
  public:
    TrackingTarget() : RecordingTarget(PreviousText) {}

    void* AllocateOutput(size_t bytes) override {
        void* block = RecordingTarget::AllocateOutput(bytes);
        if (block) {
            ++allocations;
            allocated = block;
        }
        return block;
    }
    bool ReleaseOutput(void* block) override {
        if (block != nullptr && block == allocated)
            ++releasesOfAllocated;
        return RecordingTarget::ReleaseOutput(block);
    }
    bool SetText(const char* newText, size_t length) override {
        textTerminated = newText[length] == '\0';
        return RecordingTarget::SetText(newText, length);
    }

    int allocations = 0;
    int releasesOfAllocated = 0;
    bool textTerminated = false;

  private:
    void* allocated = nullptr;
};

bool Format(TrackingTarget& target, const Bytes& file) {
    return FormatModuleInfo(target, DataOf(file), LengthOf(file));
}

void ExpectOneMessage(const TrackingTarget& target, const char* text, MessageIcon icon) {
    ASSERT_EQ(target.messages.size(), 1u);
    EXPECT_EQ(target.messages[0].text, text);
    EXPECT_EQ(target.messages[0].caption, "Error");
    EXPECT_EQ(target.messages[0].icon, icon);
}

// A run that failed after reserving the output: released once, text untouched.
void ExpectReleasedAndUnchanged(const TrackingTarget& target) {
    EXPECT_EQ(target.allocations, 1);
    EXPECT_EQ(target.releases, 1);
    EXPECT_EQ(target.releasesOfAllocated, 1);
    EXPECT_EQ(target.setTextCalls, 0);
    EXPECT_EQ(target.text, PreviousText);
}

// A run refused before anything was reserved.
void ExpectNothingReserved(const TrackingTarget& target) {
    EXPECT_EQ(target.allocatedBytes, 0u);
    EXPECT_EQ(target.releases, 0);
    EXPECT_EQ(target.setTextCalls, 0);
    EXPECT_EQ(target.text, PreviousText);
}

// --- The size limit ---

TEST_F(FormatterFailureTest, AcceptsExactlyThirtyTwoMillionBytes) {
    NumerationMode = NUMERATION_MULTI;
    Bytes file = OneBigRecordFile(31999992);
    ASSERT_EQ(file.size(), 32000000u);
    TrackingTarget target;
    EXPECT_TRUE(Format(target, file));
    EXPECT_TRUE(target.messages.empty());
    ASSERT_EQ(target.text.size(), 2000000u * DumpLineLength);
    EXPECT_EQ(target.allocatedBytes, 2000000u * DumpLineLength + 1);
    EXPECT_EQ(target.text.substr(0, DumpLineLength),
              "00000001: MI_SIGNATURE31999992| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F 20 66 69 6C 65 "
              "| Module info file \r\n");
    EXPECT_EQ(target.text.substr(target.text.size() - DumpLineLength),
              "00000001: MI_SIGNATURE 1999999| 00 00 00 00 00 00 00 00 -                         "
              "| ........         \r\n");
    EXPECT_EQ(target.releasesOfAllocated, 1);
}

TEST_F(FormatterFailureTest, RefusesOneByteOverThirtyTwoMillion) {
    Bytes file = OneBigRecordFile(31999993);
    ASSERT_EQ(file.size(), 32000001u);
    TrackingTarget target;
    EXPECT_FALSE(Format(target, file));
    EXPECT_EQ(target.events, Events({"message Don't parse file greather than 32 MB."}));
    ExpectOneMessage(target, "Don't parse file greather than 32 MB.", MESSAGE_ICON_INFORMATION);
    ExpectNothingReserved(target);
}

TEST_F(FormatterFailureTest, SizeLimitComesBeforeTheSignature) {
    Bytes file(32000001, 0);
    TrackingTarget target;
    EXPECT_FALSE(Format(target, file));
    EXPECT_EQ(target.events, Events({"message Don't parse file greather than 32 MB."}));
    ExpectNothingReserved(target);
}

// --- The signature ---

TEST_F(FormatterFailureTest, EmptyFileIsNoModuleInfo) {
    TrackingTarget target;
    EXPECT_FALSE(Format(target, Bytes()));
    EXPECT_EQ(target.events, Events({"message No QEF format."}));
    ExpectOneMessage(target, "No QEF format.", MESSAGE_ICON_ERROR);
    ExpectNothingReserved(target);
}

TEST_F(FormatterFailureTest, TwentyEightBytesAreNoModuleInfo) {
    Bytes file = SignatureOnlyFile();
    file.pop_back();
    TrackingTarget target;
    EXPECT_FALSE(Format(target, file));
    EXPECT_EQ(target.events, Events({"message No QEF format."}));
    ExpectOneMessage(target, "No QEF format.", MESSAGE_ICON_ERROR);
    ExpectNothingReserved(target);
}

TEST_F(FormatterFailureTest, WrongSignatureIsNoModuleInfo) {
    Bytes file = SignatureOnlyFile("module info file v2.0");
    TrackingTarget target;
    EXPECT_FALSE(Format(target, file));
    EXPECT_EQ(target.events, Events({"message No QEF format."}));
    ExpectNothingReserved(target);
}

// --- The output buffer ---

TEST_F(FormatterFailureTest, AllocationFailureComesBeforeAnyProgress) {
    TrackingTarget target;
    target.failAllocation = true;
    EXPECT_FALSE(Format(target, ThreeRecordFile()));
    EXPECT_EQ(target.events, Events({"message Memory allocation error."}));
    ExpectOneMessage(target, "Memory allocation error.", MESSAGE_ICON_NONE);
    EXPECT_EQ(target.releases, 0);
    EXPECT_EQ(target.setTextCalls, 0);
    EXPECT_EQ(target.text, PreviousText);
}

TEST_F(FormatterFailureTest, ReservesOneLinePer103BytesPlusTheNul) {
    TrackingTarget target;
    EXPECT_TRUE(Format(target, ThreeRecordFile()));
    EXPECT_EQ(target.allocatedBytes, 4 * DumpLineLength + 1);
    EXPECT_EQ(target.text.size(), 4 * DumpLineLength);
    EXPECT_TRUE(target.textTerminated);
    EXPECT_EQ(target.allocations, 1);
    EXPECT_EQ(target.releasesOfAllocated, 1);
    EXPECT_EQ(target.releases, 1);
}

TEST_F(FormatterFailureTest, FailedReleaseIsReportedButTheTextStays) {
    TrackingTarget target;
    target.failRelease = true;
    EXPECT_TRUE(Format(target, ThreeRecordFile()));
    EXPECT_EQ(target.events,
              Events({"progress Opened... 0%", "text", "message Memory free error."}));
    ExpectOneMessage(target, "Memory free error.", MESSAGE_ICON_NONE);
    EXPECT_EQ(target.text.size(), 4 * DumpLineLength);
    EXPECT_EQ(target.releases, 1);
}

TEST_F(FormatterFailureTest, RefusedTextFailsWithoutAMessage) {
    TrackingTarget target;
    target.failSetText = true;
    EXPECT_FALSE(Format(target, ThreeRecordFile()));
    EXPECT_EQ(target.events, Events({"progress Opened... 0%"}));
    EXPECT_EQ(target.setTextCalls, 1);
    EXPECT_EQ(target.releasesOfAllocated, 1);
    EXPECT_EQ(target.text, PreviousText);
}

TEST_F(FormatterFailureTest, RefusedTextAndFailedReleaseStillFail) {
    TrackingTarget target;
    target.failSetText = true;
    target.failRelease = true;
    EXPECT_FALSE(Format(target, ThreeRecordFile()));
    EXPECT_EQ(target.events, Events({"progress Opened... 0%", "message Memory free error."}));
    EXPECT_EQ(target.text, PreviousText);
}

// --- The record chain ---

TEST_F(FormatterFailureTest, SizeOneBytePastTheEndIsAFormatError) {
    Bytes file = SignatureOnlyFile();
    AppendHeader(file, TagVersion, 5);
    AppendBytes(file, "1234");
    TrackingTarget target;
    EXPECT_FALSE(Format(target, file));
    EXPECT_EQ(target.events, Events({"progress Opened... 0%", "message QEF format error."}));
    ExpectOneMessage(target, "QEF format error.", MESSAGE_ICON_ERROR);
    ExpectReleasedAndUnchanged(target);
}

TEST_F(FormatterFailureTest, RecordEndingExactlyAtTheEndIsAccepted) {
    Bytes file = SignatureOnlyFile();
    AppendHeader(file, TagVersion, 5);
    AppendBytes(file, "12345");
    TrackingTarget target;
    EXPECT_TRUE(Format(target, file));
    EXPECT_EQ(target.events, Events({"progress Opened... 0%", "text"}));
    EXPECT_EQ(target.text.size(), 3 * DumpLineLength);
}

TEST_F(FormatterFailureTest, LargestSizeDoesNotWrapAround) {
    Bytes file = SignatureOnlyFile();
    AppendHeader(file, TagVersion, 0xFFFFFFFF);
    AppendBytes(file, "1234");
    TrackingTarget target;
    EXPECT_FALSE(Format(target, file));
    EXPECT_EQ(target.events, Events({"progress Opened... 0%", "message QEF format error."}));
    ExpectReleasedAndUnchanged(target);
}

TEST_F(FormatterFailureTest, SizesThatWrapPastTheEndAreFormatErrors) {
    // Added in 32 bits these lead back to offset 0, to the record itself and into the one before.
    for (uint32_t size : {0xFFFFFFDBu, 0xFFFFFFF8u, 0xFFFFFFF0u}) {
        SCOPED_TRACE(size);
        Bytes file = SignatureOnlyFile();
        AppendHeader(file, TagVersion, size);
        AppendBytes(file, std::string(40, 'x'));
        TrackingTarget target;
        EXPECT_FALSE(Format(target, file));
        EXPECT_EQ(target.events, Events({"progress Opened... 0%", "message QEF format error."}));
        ExpectReleasedAndUnchanged(target);
    }
}

TEST_F(FormatterFailureTest, OneToSevenTrailingBytesAreFormatErrors) {
    for (size_t trailing = 1; trailing <= 7; ++trailing) {
        SCOPED_TRACE(trailing);
        Bytes file = SignatureOnlyFile();
        file.insert(file.end(), trailing, 0);
        TrackingTarget target;
        EXPECT_FALSE(Format(target, file));
        EXPECT_EQ(target.events, Events({"progress Opened... 0%", "message QEF format error."}));
        ExpectOneMessage(target, "QEF format error.", MESSAGE_ICON_ERROR);
        ExpectReleasedAndUnchanged(target);
    }
}

TEST_F(FormatterFailureTest, FormatErrorComesAfterTheProgressOfTheRecordsBefore) {
    // 10,001 good records, so progress is shown at 0 and at 10,000 records, then a bad one.
    Bytes file = EmptyRecordsFile(10000);
    AppendHeader(file, TagVersion, 100);
    AppendBytes(file, std::string(50, 'x'));
    ASSERT_EQ(file.size(), 80087u);
    TrackingTarget target;
    EXPECT_FALSE(Format(target, file));
    EXPECT_EQ(target.events, Events({"progress Opened... 0%", "progress Opened... 99%",
                                     "message QEF format error."}));
    ExpectReleasedAndUnchanged(target);
}

} // namespace
