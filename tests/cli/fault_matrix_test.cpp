// Hostile inputs and hostile surroundings: files cut short, the largest dump in the address
// space of a 32-bit process, and qefdump's output going where it cannot be written. Whatever
// fails, the failure is a clear message and no existing file loses a byte.
#include "tests/cli/qefdump_fixture.h"

#include "dump/formatter.h"
#include "tests/support/recording_target.h"
#include "tests/support/sample_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

constexpr size_t MiB = size_t(1) << 20;

const unsigned char VersionTag[4] = {0x0A, 0x56, 0x65, 0x72};

// The generator's largest file: the signature record (two lines), then empty records only.
// Every line needs at least the 8 bytes of a header, so no file of the size limit gives more.
constexpr uint32_t LargestDumpLines = 3999998;
constexpr size_t LargestDumpBytes = size_t(LargestDumpLines) * DumpLineLength; // 411,999,794

Bytes LargestDumpFile() {
    return GenerateSample(SAMPLE_EMPTY_RECORDS, 1, MaxModuleInfoLength);
}

Bytes WithNul(Bytes file) {
    file.push_back(0); // as the loader hands it over: a NUL after the counted bytes
    return file;
}

// The first `size` bytes of a well-formed file.
Bytes PrefixOfAGoodFile(size_t size) {
    Bytes file = SignatureRecord();
    AppendRecord(file, VersionTag, 4, "1234");
    file.resize(size);
    return file;
}

class ShortFileTest : public ::testing::TestWithParam<size_t> {};

TEST_P(ShortFileTest, IsNoModuleInfoAndLeavesTheTextAlone) {
    Bytes data = WithNul(PrefixOfAGoodFile(GetParam()));
    RecordingTarget target("earlier text");
    EXPECT_FALSE(FormatModuleInfo(target, data.data(), uint32_t(GetParam())));
    EXPECT_EQ(target.text, "earlier text");
    ASSERT_EQ(target.messages.size(), 1u);
    EXPECT_EQ(target.messages[0].text, "No QEF format.");
    EXPECT_EQ(target.messages[0].icon, MESSAGE_ICON_ERROR);
    EXPECT_EQ(target.allocatedBytes, 0u);
    EXPECT_TRUE(target.progress.empty());
}

// Shorter than one header, exactly one header, one byte short of the signature's end.
INSTANTIATE_TEST_SUITE_P(Sizes, ShortFileTest, ::testing::Values(7u, 8u, 28u));

// The address space of a 32-bit Windows process: 2 GiB, of which the program and the system
// libraries take some and the file buffer and every open document's text take the rest. A
// request beyond what is left is refused, as GlobalAlloc would refuse it there. The dump is
// checked where it lies instead of copied: a copy would double the memory this test needs.
class AddressSpaceTarget final : public DumpTarget {
  public:
    static constexpr uint64_t AddressSpace = uint64_t(2048) * MiB;
    static constexpr uint64_t ProgramAndLibraries = 64 * MiB;

    AddressSpaceTarget(uint32_t fileLength, uint64_t heldByOtherDocuments)
        : inUse_(ProgramAndLibraries + fileLength + 1 + heldByOtherDocuments) {}

    void* AllocateOutput(size_t bytes) override {
        requested = bytes;
        if (bytes > AddressSpace - inUse_)
            return nullptr;
        inUse_ += bytes;
        return DumpTarget::AllocateOutput(bytes);
    }
    bool ReleaseOutput(void* block) override {
        ++releases;
        return DumpTarget::ReleaseOutput(block);
    }
    bool SetText(const char* text, size_t length) override {
        textLength = length;
        terminated = text[length] == '\0';
        wellFormedLines = 0;
        for (size_t at = 0; at + DumpLineLength <= length; at += DumpLineLength)
            wellFormedLines += text[at + 101] == '\r' && text[at + 102] == '\n';
        if (length >= DumpLineLength)
            lastLine.assign(text + length - DumpLineLength, DumpLineLength);
        return true;
    }
    void ShowProgress(const char*) override { ++progressTexts; }
    void ShowMessage(const DumpMessage& message) override { messages.push_back(message.text); }

    size_t requested = 0;
    size_t textLength = 0;
    bool terminated = false;
    size_t wellFormedLines = 0;
    std::string lastLine;
    int releases = 0;
    int progressTexts = 0;
    std::vector<std::string> messages;

  private:
    uint64_t inUse_;
};

TEST(LargestDump, FitsTheAddressSpaceOfAFreshThirtyTwoBitProcess) {
    Bytes data = WithNul(LargestDumpFile());
    AddressSpaceTarget target(MaxModuleInfoLength, 0);
    EXPECT_TRUE(FormatModuleInfo(target, data.data(), MaxModuleInfoLength));
    EXPECT_EQ(target.requested, LargestDumpBytes + 1);
    EXPECT_EQ(target.textLength, LargestDumpBytes);
    EXPECT_TRUE(target.terminated);
    EXPECT_EQ(target.wellFormedLines, LargestDumpLines);
    EXPECT_EQ(target.lastLine.substr(0, 10) + target.lastLine.substr(22),
              "03999997:   |00000|                         -                         |"
              "                  \r\n");
    EXPECT_EQ(target.messages, std::vector<std::string>());
    EXPECT_EQ(target.releases, 1);
}

// Two documents already show this dump; an edit control keeps its text as UTF-16, twice the
// bytes. What is left of 2 GiB is less than the third dump needs.
TEST(LargestDump, ThirdCopyIsAnAllocationErrorNotACrash) {
    Bytes data = WithNul(LargestDumpFile());
    AddressSpaceTarget target(MaxModuleInfoLength, uint64_t(LargestDumpBytes) * 2 * 2);
    EXPECT_FALSE(FormatModuleInfo(target, data.data(), MaxModuleInfoLength));
    EXPECT_EQ(target.requested, LargestDumpBytes + 1);
    EXPECT_EQ(target.messages, std::vector<std::string>{"Memory allocation error."});
    EXPECT_EQ(target.textLength, 0u);
    EXPECT_EQ(target.progressTexts, 0);
    EXPECT_EQ(target.releases, 0);
}

class QefdumpFaultTest : public QefdumpFixture {};

TEST_F(QefdumpFaultTest, DumpsTheSmallestModuleInfoFile) {
    fs::path input = WriteInput("smallest.qef", SignatureRecord());
    CommandResult result = Qefdump(Quoted(input));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out,
              "00000001: MI_SIGNATURE  |00021| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F 20 66 69 6C 65 "
              "| Module info file \r\n"
              "00000001: MI_SIGNATURE  |    1| 20 76 32 2E 30          -                         "
              "|  v2.0            \r\n");
}

// Replacing a file goes through a temporary and a rename, which the folder alone would allow.
TEST_F(QefdumpFaultTest, LeavesAReadOnlyOutputFileAsItWas) {
    fs::path input = WriteInput("smallest.qef", SignatureRecord());
    fs::path output = folder_ / "out.txt";
    WriteFileText(output, "old bytes\n");
    fs::permissions(output, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    CommandResult result = Qefdump("-o " + Quoted(output) + " " + Quoted(input));
    fs::permissions(output, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "qefdump: " + output.string() + ": Permission denied\n");
    EXPECT_EQ(ReadFileText(output), "old bytes\n");
    EXPECT_EQ(Names(), "out.txt smallest.qef ");
}

TEST_F(QefdumpFaultTest, ReportsAnUnreadableInput) {
#ifdef _WIN32
    GTEST_SKIP() << "a file's permissions cannot take away reading on Windows";
#else
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
#endif
    fs::path input = WriteInput("secret.qef", SignatureRecord());
    fs::permissions(input, fs::perms::none);
    CommandResult result = Qefdump(Quoted(input));
    fs::permissions(input, fs::perms::owner_all);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "qefdump: " + input.string() + ": Permission denied\n");
    EXPECT_EQ(result.out, "");
}

// An output path of exactly `length` characters inside the test folder.
fs::path PathOfLength(const fs::path& folder, size_t length) {
    std::string prefix = (folder / "").string();
    return fs::path(prefix + std::string(length - prefix.size() - 4, 'p') + ".txt");
}

// The longest path the classic Windows calls take: 259 characters and the NUL.
TEST_F(QefdumpFaultTest, WritesAnOutputPathOf259Characters) {
    fs::path input = WriteInput("smallest.qef", SignatureRecord());
    fs::path output = PathOfLength(folder_.Path(), 259);
    ASSERT_EQ(output.string().size(), 259u);
    CommandResult result = Qefdump("-o " + Quoted(output) + " " + Quoted(input));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFileText(output).size(), 2 * DumpLineLength);
    EXPECT_EQ(Names(), output.filename().string() + " smallest.qef ");
}

// One character more: Windows refuses it (Wine does not), and then nothing may be left of the
// temporary already written.
TEST_F(QefdumpFaultTest, OutputPathOf260CharactersIsWrittenOrRefusedCleanly) {
    fs::path input = WriteInput("smallest.qef", SignatureRecord());
    fs::path output = PathOfLength(folder_.Path(), 260);
    ASSERT_EQ(output.string().size(), 260u);
    CommandResult result = Qefdump("-o " + Quoted(output) + " " + Quoted(input));
    if (result.exitCode == 0) {
        EXPECT_EQ(ReadFileText(output).size(), 2 * DumpLineLength);
        EXPECT_EQ(Names(), output.filename().string() + " smallest.qef ");
    } else {
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.err.rfind("qefdump: " + output.string() + ": ", 0), 0u) << result.err;
        EXPECT_EQ(Names(), "smallest.qef ");
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define QEF_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEF_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(_WIN32) || defined(QEF_ADDRESS_SANITIZER)
constexpr bool CanLimitAddressSpace = false;
#else
constexpr bool CanLimitAddressSpace = true;
#endif

// A shell command that runs qefdump with at most `mib` MiB of address space.
std::string WithAddressSpaceLimit(size_t mib, const std::string& command) {
    return "ulimit -v " + std::to_string(mib * 1024) + "; " + command;
}

// qefdump streams: the input and one chunk of lines are all it holds, so the largest dump is
// written within an address space far smaller than the dump itself.
TEST_F(QefdumpFaultTest, WritesTheLargestDumpInASmallAddressSpace) {
    if (!CanLimitAddressSpace)
        GTEST_SKIP() << "needs ulimit -v, and the sanitizers' shadow memory cannot live with it";
    fs::path input = WriteInput("largest.qef", LargestDumpFile());
    fs::path output = folder_ / "out.txt";
    CommandResult result =
        RunCommand(WithAddressSpaceLimit(128, ToolCommand(QEFDUMP_PATH) + " -o " + Quoted(output) +
                                                  " " + Quoted(input)),
                   scratch_.Path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(fs::file_size(output), LargestDumpBytes);
    std::ifstream written(output, std::ios::binary);
    written.seekg(-std::streamoff(DumpLineLength), std::ios::end);
    std::string lastLine(DumpLineLength, '\0');
    written.read(lastLine.data(), std::streamsize(DumpLineLength));
    EXPECT_EQ(lastLine.substr(0, 10), "03999997: ");
    EXPECT_EQ(lastLine.substr(101), "\r\n");
}

// Too little memory for the input: a message, no crash, and the existing output untouched.
TEST_F(QefdumpFaultTest, ReportsNoMemoryForTheInputAndKeepsTheOutput) {
    if (!CanLimitAddressSpace)
        GTEST_SKIP() << "needs ulimit -v, and the sanitizers' shadow memory cannot live with it";
    fs::path input = WriteInput("largest.qef", LargestDumpFile());
    fs::path output = folder_ / "out.txt";
    WriteFileText(output, "old bytes\n");
    CommandResult result =
        RunCommand(WithAddressSpaceLimit(24, ToolCommand(QEFDUMP_PATH) + " -o " + Quoted(output) +
                                                 " " + Quoted(input)),
                   scratch_.Path());
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "qefdump: " + input.string() + ": Memory allocation error.\n");
    EXPECT_EQ(ReadFileText(output), "old bytes\n");
    EXPECT_EQ(Names(), "largest.qef out.txt ");
}

} // namespace
