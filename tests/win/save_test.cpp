// SaveDocumentText against real files: the text byte for byte, replaced files, and the silent
// failures, with every handle and block given back.
#include "files/file_operations.h"
#include "tests/support/recording_target.h"
#include "tests/support/sample_files.h"
#include "tests/win/files_testing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Stands for an edit control: its text, and optionally a length that is not the truth.
class StringSource : public TextSource {
  public:
    explicit StringSource(std::string text) : text(std::move(text)), length(this->text.size()) {}

    size_t TextLength() override { return length; }
    size_t CopyText(char* buffer, size_t capacity) override {
        if (capacity == 0)
            return 0;
        size_t copied = std::min(text.size(), capacity - 1);
        std::memcpy(buffer, text.data(), copied);
        buffer[copied] = '\0';
        return copied;
    }

    std::string text;
    size_t length;
};

const char OldContent[] = "the file as it was before, longer than what replaces it\r\n";

class SaveTest : public TempFolderTest {
  protected:
    bool Save(TextSource& source, const std::string& path, Misbehaviour misbehaviour = BEHAVE) {
        return SaveDocumentTextWith(WatchedFileOperations(misbehaviour), source, path.c_str());
    }

    void ExpectAllGivenBack() {
        const FileCallCounts& counts = WatchedCounts();
        EXPECT_EQ(counts.closed, counts.opened);
        EXPECT_EQ(counts.released, counts.reserved);
    }
};

TEST_F(SaveTest, WritesTheTextByteForByte) {
    StringSource source("line one\r\nline \xE9\xFF two\r\nno line end");
    std::string path = PathOf("saved.txt");

    EXPECT_TRUE(Save(source, path));

    EXPECT_EQ(ReadWholeFile(path), source.text);
    EXPECT_EQ(WatchedCounts().writes, 1);
    EXPECT_EQ(WatchedCounts().reserved, 1);
    ExpectAllGivenBack();
}

TEST_F(SaveTest, ReplacesALongerFileWholly) {
    std::string path = MakeFile("saved.txt", OldContent);
    StringSource source("short");

    EXPECT_TRUE(Save(source, path));

    EXPECT_EQ(ReadWholeFile(path), "short");
    ExpectAllGivenBack();
}

TEST_F(SaveTest, EmptyTextLeavesAnEmptyFileAndFails) {
    std::string path = MakeFile("saved.txt", OldContent);
    StringSource source("");

    EXPECT_FALSE(Save(source, path));

    EXPECT_EQ(ReadWholeFile(path), "");
    EXPECT_EQ(WatchedCounts().reserved, 0);
    EXPECT_EQ(WatchedCounts().writes, 0);
    ExpectAllGivenBack();
}

TEST_F(SaveTest, EmptyTextMakesAnEmptyFileWhereThereWasNone) {
    std::string path = PathOf("new.txt");
    StringSource source("");

    EXPECT_FALSE(Save(source, path));

    EXPECT_EQ(ReadWholeFile(path), "");
}

TEST_F(SaveTest, MissingFolderFailsWithoutMakingAnything) {
    std::string path = PathOf("no-such-folder\\saved.txt");
    StringSource source("text");

    EXPECT_FALSE(Save(source, path));

    EXPECT_EQ(ReadWholeFile(path), "<missing>");
    EXPECT_EQ(WatchedCounts().opened, 0);
}

// The save shares nothing, so a file someone else has open is left as it was.
TEST_F(SaveTest, FileHeldOpenElsewhereIsLeftAsItWas) {
    std::string path = MakeFile("busy.txt", OldContent);
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    StringSource source("text");

    bool saved = Save(source, path);
    CloseHandle(reader);

    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadWholeFile(path), OldContent);
}

// A length that overstates the text (as GetWindowTextLengthA may) must not put the zero fill
// after the text into the file.
TEST_F(SaveTest, WritesOnlyWhatWasCopied) {
    StringSource source("the text");
    source.length = 20;
    std::string path = PathOf("saved.txt");

    EXPECT_TRUE(Save(source, path));

    EXPECT_EQ(ReadWholeFile(path), "the text");
}

TEST_F(SaveTest, TextLongerThanItsLengthIsCutToTheLength) {
    StringSource source("the text grew");
    source.length = 8;
    std::string path = PathOf("saved.txt");

    EXPECT_TRUE(Save(source, path));

    EXPECT_EQ(ReadWholeFile(path), "the text");
}

TEST_F(SaveTest, NothingCopiedFailsAndLeavesAnEmptyFile) {
    StringSource source("");
    source.length = 10;
    std::string path = MakeFile("saved.txt", OldContent);

    EXPECT_FALSE(Save(source, path));

    EXPECT_EQ(ReadWholeFile(path), "");
    EXPECT_EQ(WatchedCounts().writes, 0);
    ExpectAllGivenBack();
}

TEST_F(SaveTest, WriteReportingSuccessForPartOfTheTextFails) {
    StringSource source("sixteen bytes ..");
    std::string path = PathOf("saved.txt");

    EXPECT_FALSE(Save(source, path, SHORT_WRITE));

    EXPECT_EQ(ReadWholeFile(path), "sixteen ");
    ExpectAllGivenBack();
}

// Under Wine the Unix device behind this path refuses every byte with "no space left".
TEST_F(SaveTest, FullDiskFails) {
    StringSource source("text that does not fit");

    EXPECT_FALSE(Save(source, "Z:\\dev\\full"));

    ExpectAllGivenBack();
}

class FailingSaveTest : public SaveTest, public ::testing::WithParamInterface<Misbehaviour> {};

TEST_P(FailingSaveTest, FailsAndGivesEverythingBack) {
    StringSource source("text");

    EXPECT_FALSE(Save(source, PathOf("saved.txt"), GetParam()));

    ExpectAllGivenBack();
}

INSTANTIATE_TEST_SUITE_P(EachCall, FailingSaveTest,
                         ::testing::Values(FAIL_CREATE, FAIL_RESERVE, FAIL_WRITE),
                         MisbehaviourName);

TEST_F(SaveTest, FailedWriteReleasesTheBlockAndClosesTheFile) {
    StringSource source("text");

    EXPECT_FALSE(Save(source, PathOf("saved.txt"), FAIL_WRITE));

    EXPECT_EQ(WatchedCounts().reserved, 1);
    EXPECT_EQ(WatchedCounts().released, 1);
    EXPECT_EQ(WatchedCounts().closed, 1);
}

// What a document shows after Open, saved and opened again, is text and not a module-info file.
TEST_F(SaveTest, SavedDumpReopenedIsNoModuleInfoFile) {
    std::string sample = Bytes(GenerateSample(SAMPLE_MIXED, 11, 2000));
    RecordingTarget shown;
    ASSERT_TRUE(LoadDocumentFile(shown, MakeFile("sample.qef", sample).c_str()));
    StringSource source(shown.text);
    std::string path = PathOf("sample.txt");
    ASSERT_TRUE(SaveDocumentText(source, path.c_str()));
    ASSERT_EQ(ReadWholeFile(path), shown.text);

    RecordingTarget reopened("before");
    EXPECT_FALSE(LoadDocumentFile(reopened, path.c_str()));

    std::vector<std::string> expected = {"message No QEF format."};
    EXPECT_EQ(reopened.events, expected);
    EXPECT_EQ(reopened.text, "before");
}

} // namespace
