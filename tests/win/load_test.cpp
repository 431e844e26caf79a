// LoadDocumentFile against real files: what reaches the formatter, what fails silently, and
// that every handle and block taken is given back on every way out.
#include "files/file_operations.h"
#include "tests/support/recording_target.h"
#include "tests/support/sample_files.h"
#include "tests/win/files_testing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char ShownBefore[] = "the dump shown before";

class LoadTest : public TempFolderTest {
  protected:
    bool Load(const std::string& path, Misbehaviour misbehaviour = BEHAVE) {
        return LoadDocumentFileWith(WatchedFileOperations(misbehaviour), target, path.c_str());
    }

    // What the formatter alone makes of `bytes`, to compare a load with.
    static RecordingTarget FormattedDirectly(const std::string& bytes) {
        RecordingTarget direct(ShownBefore);
        FormatModuleInfo(direct, reinterpret_cast<const unsigned char*>(bytes.data()),
                         uint32_t(bytes.size()));
        return direct;
    }

    void ExpectUntouched() {
        EXPECT_EQ(target.text, ShownBefore);
        EXPECT_TRUE(target.events.empty());
    }

    void ExpectAllGivenBack() {
        const FileCallCounts& counts = WatchedCounts();
        EXPECT_EQ(counts.closed, counts.opened);
        EXPECT_EQ(counts.released, counts.reserved);
    }

    RecordingTarget target{ShownBefore};
};

const std::string ValidFile = Bytes(GenerateSample(SAMPLE_MIXED, 3, 5000));

TEST_F(LoadTest, ValidFileShowsTheFormattersDump) {
    std::string path = MakeFile("valid.qef", ValidFile);

    EXPECT_TRUE(Load(path));

    RecordingTarget direct = FormattedDirectly(ValidFile);
    EXPECT_EQ(target.events, direct.events);
    EXPECT_EQ(target.text, direct.text);
    EXPECT_EQ(target.text.size() % DumpLineLength, 0u);
    EXPECT_GT(target.text.size(), 0u);
    const FileCallCounts& counts = WatchedCounts();
    EXPECT_EQ(counts.opened, 1);
    EXPECT_EQ(counts.reads, 1);
    EXPECT_EQ(counts.reserved, 1);
    ExpectAllGivenBack();
}

TEST_F(LoadTest, LoadingTwiceGivesTheSameDump) {
    std::string path = MakeFile("valid.qef", ValidFile);
    ASSERT_TRUE(Load(path));
    std::string first = target.text;

    EXPECT_TRUE(Load(path));

    EXPECT_EQ(target.text, first);
    ExpectAllGivenBack();
}

TEST_F(LoadTest, EmptyFileReachesTheFormatter) {
    std::string path = MakeFile("empty.qef", "");

    EXPECT_FALSE(Load(path));

    EXPECT_EQ(target.text, ShownBefore);
    ASSERT_EQ(target.messages.size(), 1u);
    EXPECT_EQ(target.messages[0].text, "No QEF format.");
    EXPECT_EQ(target.messages[0].caption, "Error");
    EXPECT_EQ(target.messages[0].icon, MESSAGE_ICON_ERROR);
    EXPECT_EQ(WatchedCounts().reads, 1);
    ExpectAllGivenBack();
}

TEST_F(LoadTest, FileWithoutSignatureGetsTheFormattersMessage) {
    std::string text = "not a module-info file\r\n";
    std::string path = MakeFile("text.txt", text);

    EXPECT_FALSE(Load(path));

    EXPECT_EQ(target.events, FormattedDirectly(text).events);
    EXPECT_EQ(target.text, ShownBefore);
    ExpectAllGivenBack();
}

TEST_F(LoadTest, MissingFileFailsSilently) {
    EXPECT_FALSE(Load(PathOf("missing.qef")));

    ExpectUntouched();
    EXPECT_EQ(WatchedCounts().opened, 0);
    EXPECT_EQ(WatchedCounts().reserved, 0);
}

TEST_F(LoadTest, FileInAMissingFolderFailsSilently) {
    EXPECT_FALSE(Load(PathOf("no-such-folder\\valid.qef")));

    ExpectUntouched();
    EXPECT_EQ(WatchedCounts().opened, 0);
}

// The load shares read access only, so a writer elsewhere keeps it out even when that writer
// would allow another reader.
TEST_F(LoadTest, FileHeldOpenForWritingFailsSilently) {
    std::string path = MakeFile("busy.qef", ValidFile);
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);

    bool loaded = Load(path);
    CloseHandle(writer);

    EXPECT_FALSE(loaded);
    ExpectUntouched();
    EXPECT_EQ(WatchedCounts().opened, 0);
}

TEST_F(LoadTest, FileLockedAgainstReadingFailsSilently) {
    std::string path = MakeFile("locked.qef", ValidFile);
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    bool loaded = Load(path);
    CloseHandle(holder);

    EXPECT_FALSE(loaded);
    ExpectUntouched();
}

TEST_F(LoadTest, FileHeldOpenForReadingStillLoads) {
    std::string path = MakeFile("shared.qef", ValidFile);
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);

    bool loaded = Load(path);
    CloseHandle(reader);

    EXPECT_TRUE(loaded);
    EXPECT_EQ(target.text, FormattedDirectly(ValidFile).text);
}

TEST_F(LoadTest, FolderInsteadOfAFileFailsSilently) {
    EXPECT_FALSE(Load(folder));

    ExpectUntouched();
    ExpectAllGivenBack();
}

// A file can shrink between sizing and reading; its lost tail must not be dumped as the zeros
// the buffer starts with.
TEST_F(LoadTest, FileShorterThanItsSizeFailsSilently) {
    std::string path = MakeFile("shrunk.qef", ValidFile);

    EXPECT_FALSE(Load(path, GROW_SIZE));

    ExpectUntouched();
    EXPECT_EQ(WatchedCounts().reads, 1);
    ExpectAllGivenBack();
}

TEST_F(LoadTest, FileJustOverTheLimitGetsTheSizeMessageWithoutBeingRead) {
    std::string path = MakeLongFile("long.qef", ValidFile, MaxModuleInfoLength + 1ull);

    EXPECT_FALSE(Load(path));

    std::vector<std::string> expected = {"message Don't parse file greather than 32 MB."};
    EXPECT_EQ(target.events, expected);
    EXPECT_EQ(target.text, ShownBefore);
    EXPECT_EQ(WatchedCounts().reads, 0);
    EXPECT_EQ(WatchedCounts().reserved, 0);
    ExpectAllGivenBack();
}

// Only the low 32 bits of such a size fit the formatter's length: here they would be the valid
// file at its front, dumped as if it were all there is.
TEST_F(LoadTest, FileOfFourGigabytesOrMoreGetsTheSizeMessage) {
    std::string path = MakeLongFile("huge.qef", ValidFile, (1ull << 32) + ValidFile.size());

    EXPECT_FALSE(Load(path));

    std::vector<std::string> expected = {"message Don't parse file greather than 32 MB."};
    EXPECT_EQ(target.events, expected);
    EXPECT_EQ(target.text, ShownBefore);
    EXPECT_EQ(WatchedCounts().reads, 0);
    ExpectAllGivenBack();
}

// Each failing call ends the load at once and silently, with nothing held afterwards.
class FailingLoadTest : public LoadTest, public ::testing::WithParamInterface<Misbehaviour> {};

TEST_P(FailingLoadTest, FailsSilentlyAndGivesEverythingBack) {
    std::string path = MakeFile("valid.qef", ValidFile);

    EXPECT_FALSE(Load(path, GetParam()));

    ExpectUntouched();
    ExpectAllGivenBack();
}

INSTANTIATE_TEST_SUITE_P(EachCall, FailingLoadTest,
                         ::testing::Values(FAIL_CREATE, FAIL_SIZE, FAIL_RESERVE, FAIL_READ),
                         MisbehaviourName);

TEST_F(LoadTest, FailedReadReleasesTheBlockItReserved) {
    std::string path = MakeFile("valid.qef", ValidFile);

    EXPECT_FALSE(Load(path, FAIL_READ));

    EXPECT_EQ(WatchedCounts().reserved, 1);
    EXPECT_EQ(WatchedCounts().released, 1);
    EXPECT_EQ(WatchedCounts().closed, 1);
}

TEST_F(LoadTest, PublicLoadReadsTheRealFile) {
    std::string path = MakeFile("valid.qef", ValidFile);

    EXPECT_TRUE(LoadDocumentFile(target, path.c_str()));

    EXPECT_EQ(target.text, FormattedDirectly(ValidFile).text);
}

} // namespace
