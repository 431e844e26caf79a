#include "tests/cli/qefdump_fixture.h"

#include "dump/formatter.h"
#include "tests/support/recording_target.h"
#include "tests/support/sample_files.h"

#include <gtest/gtest.h>

namespace {

const unsigned char VersionTag[4] = {0x0A, 0x56, 0x65, 0x72};
const unsigned char EndTag[4] = {0x0A, 0x45, 0x6E, 0x64};

// Three records: a 32-byte signature record, a 4-byte version record and an empty end record.
Bytes ExampleFile() {
    Bytes file = SignatureRecord("Module info file v2.0", std::string(11, '\0'));
    AppendRecord(file, VersionTag, 4, std::string_view("\x01\x02\x00\x00", 4));
    AppendRecord(file, EndTag, 0, "");
    return file;
}

const char ExampleDump[] =
    "00000001: MI_SIGNATURE  |00032| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F 20 66 69 6C 65 | "
    "Module info file \r\n"
    "00000001: MI_SIGNATURE  |    1| 20 76 32 2E 30 00 00 00 - 00 00 00 00 00 00 00 00 | "
    " v2.0........... \r\n"
    "00000002: MI_VERSION    |00004| 01 02 00 00             -                         | "
    "....             \r\n"
    "00000003: MI_END        |00000|                         -                         | "
    "                 \r\n";

const char ExampleRecords[] = "         1  00000000  4D 6F 64 00  MI_SIGNATURE          32\n"
                              "         2  00000028  0A 56 65 72  MI_VERSION             4\n"
                              "         3  00000034  0A 45 6E 64  MI_END                 0\n";

// The signature record and a record that declares one byte more than it has.
Bytes OneBytePastTheEnd() {
    Bytes file = SignatureRecord();
    AppendRecord(file, VersionTag, 5, "1234");
    return file;
}

// qefgen writing a sample; a stream that qefdump may close early, so its complaints are dropped.
std::string Qefgen(const std::string& arguments) {
    return ToolCommand(QEFGEN_PATH) + " " + arguments + " 2> " + NullDevice();
}

// A well-formed chain of 32,000,001 bytes, so that only its size can be refused.
Bytes OneByteTooLarge() {
    Bytes file = GenerateSample(SAMPLE_ONE_RECORD, 1, MaxModuleInfoLength);
    const uint32_t secondSize = MaxModuleInfoLength + 1 - 29 - 8;
    for (int k = 0; k < 4; ++k)
        file[29 + 4 + k] = (unsigned char)(secondSize >> (8 * k));
    file.push_back(0x5A);
    return file;
}

std::string FormatInMemory(const Bytes& file, Numeration mode) {
    Bytes data = file;
    data.push_back(0); // the formatter's input ends in a NUL it does not count
    Numeration saved = NumerationMode;
    NumerationMode = mode;
    RecordingTarget target;
    bool formatted = FormatModuleInfo(target, data.data(), uint32_t(file.size()));
    NumerationMode = saved;
    EXPECT_TRUE(formatted);
    return target.text;
}

std::string UsageErrorText(const std::string& message) {
    return "qefdump: " + message + "\nTry 'qefdump --help'.\n";
}

class QefdumpTest : public QefdumpFixture {
  protected:
    // A real pipe on every platform: qefgen writes into it (cmd's `type` stops at a NUL).
    CommandResult PipeIntoQefdump(const std::string& producer, const std::string& arguments,
                                  const std::string& stdoutTo = {}) {
        return RunCommand(producer + " | " + ToolCommand(QEFDUMP_PATH) + " " + arguments,
                          scratch_.Path(), stdoutTo);
    }
};

TEST_F(QefdumpTest, DumpsTheExampleAsTheViewerShowsIt) {
    fs::path input = WriteInput("example.qef", ExampleFile());
    CommandResult result = Qefdump(Quoted(input));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, ExampleDump);
    EXPECT_EQ(result.err, "");
}

struct NumerationCase {
    const char* arguments;
    Numeration mode;
};

class QefdumpNumerationTest : public QefdumpTest,
                              public ::testing::WithParamInterface<NumerationCase> {};

TEST_P(QefdumpNumerationTest, AgreesWithTheFormatter) {
    Bytes file = GenerateSample(SAMPLE_MIXED, 7, 300000);
    fs::path input = WriteInput("mixed.qef", file);
    CommandResult result = Qefdump(std::string(GetParam().arguments) + " " + Quoted(input));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(FirstDifference(result.out, FormatInMemory(file, GetParam().mode)), "");
}

INSTANTIATE_TEST_SUITE_P(Modes, QefdumpNumerationTest,
                         ::testing::Values(NumerationCase{"", NUMERATION_MULTI},
                                           NumerationCase{"-n multi", NUMERATION_MULTI},
                                           NumerationCase{"-n single", NUMERATION_SINGLE},
                                           NumerationCase{"-n offset", NUMERATION_OFFSET},
                                           NumerationCase{"--numeration offset", NUMERATION_OFFSET},
                                           NumerationCase{"--numeration=single",
                                                          NUMERATION_SINGLE}));

TEST_F(QefdumpTest, ReadsStandardInputNamedByDash) {
    fs::path input = WriteInput("example.qef", ExampleFile());
    CommandResult result = Qefdump("- < " + Quoted(input));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, ExampleDump);
}

TEST_F(QefdumpTest, ReadsStandardInputWithoutAFile) {
    fs::path input = WriteInput("example.qef", ExampleFile());
    CommandResult result = Qefdump("< " + Quoted(input));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, ExampleDump);
}

TEST_F(QefdumpTest, ReadsAPipe) {
    Bytes file = GenerateSample(SAMPLE_MIXED, 3, 200000);
    CommandResult result = PipeIntoQefdump(Qefgen("--seed 3 --size 200000"), "-n offset -");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(FirstDifference(result.out, FormatInMemory(file, NUMERATION_OFFSET)), "");
}

struct RefusalCase {
    const char* name;
    Bytes (*file)();
    const char* message;
};

class QefdumpRefusalTest : public QefdumpTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(QefdumpRefusalTest, ExplainsAndWritesNothing) {
    fs::path input = WriteInput("refused.qef", GetParam().file());
    CommandResult result = Qefdump(Quoted(input));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "qefdump: " + input.string() + ": " + GetParam().message + "\n");
    EXPECT_EQ(result.out, "");
}

TEST_P(QefdumpRefusalTest, LeavesAnExistingOutputFileAsItWas) {
    fs::path input = WriteInput("refused.qef", GetParam().file());
    WriteFileText(folder_ / "out.txt", "old bytes\n");
    CommandResult result = Qefdump("-o " + Quoted(folder_ / "out.txt") + " " + Quoted(input));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ReadFileText(folder_ / "out.txt"), "old bytes\n");
    EXPECT_EQ(Names(), "out.txt refused.qef ");
}

TEST_P(QefdumpRefusalTest, RefusesTheRecordListToo) {
    fs::path input = WriteInput("refused.qef", GetParam().file());
    CommandResult result = Qefdump("--records " + Quoted(input));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "qefdump: " + input.string() + ": " + GetParam().message + "\n");
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, QefdumpRefusalTest,
    ::testing::Values(
        RefusalCase{"Empty", [] { return Bytes(); }, "No QEF format."},
        RefusalCase{"ShorterThanTheSignature",
                    [] {
                        Bytes file = SignatureRecord();
                        file.pop_back();
                        return file;
                    },
                    "No QEF format."},
        RefusalCase{"SignatureInLowerCase", [] { return SignatureRecord("module info file v2.0"); },
                    "No QEF format."},
        RefusalCase{"RecordOneBytePastTheEnd", OneBytePastTheEnd,
                    "QEF format error. Record 2 at offset 0x1D declares 5 data bytes, but only 4 "
                    "follow its header."},
        RefusalCase{"SizeThatWouldWrap",
                    [] {
                        Bytes file = SignatureRecord();
                        AppendRecord(file, VersionTag, 0xFFFFFFFF, "");
                        return file;
                    },
                    "QEF format error. Record 2 at offset 0x1D declares 4294967295 data bytes, "
                    "but only 0 follow its header."},
        RefusalCase{"TrailingBytesShorterThanAHeader",
                    [] {
                        Bytes file = SignatureRecord();
                        AppendRecord(file, EndTag, 0, "");
                        AppendRecord(file, EndTag, 0, "");
                        file.resize(file.size() - 5);
                        return file;
                    },
                    "QEF format error. Record 3 at offset 0x25: only 3 bytes left, too few for "
                    "a record header."}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(QefdumpTest, NamesStandardInputInRefusals) {
    fs::path input = WriteInput("refused.qef", OneBytePastTheEnd());
    CommandResult result = Qefdump("< " + Quoted(input));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "qefdump: (stdin): QEF format error. Record 2 at offset 0x1D declares 5 "
                          "data bytes, but only 4 follow its header.\n");
    EXPECT_EQ(result.out, "");
}

TEST_F(QefdumpTest, AcceptsAFileOfExactlyTheLimit) {
    fs::path input = WriteInput("limit.qef", GenerateSample(SAMPLE_ONE_RECORD, 1, 32000000));
    CommandResult result = Qefdump(Quoted(input), NullDevice());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
}

TEST_F(QefdumpTest, AcceptsAStreamOfExactlyTheLimit) {
    CommandResult result =
        PipeIntoQefdump(Qefgen("--shape one-record --size 32000000"), "", NullDevice());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
}

TEST_F(QefdumpTest, RefusesAFileOneByteOverTheLimit) {
    fs::path input = WriteInput("large.qef", OneByteTooLarge());
    CommandResult result = Qefdump(Quoted(input));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "qefdump: " + input.string() + ": Don't parse file greather than 32 MB.\n");
    EXPECT_EQ(result.out, "");
}

TEST_F(QefdumpTest, RefusesAStreamOneByteOverTheLimit) {
#ifdef _WIN32
    GTEST_SKIP() << "cmd has no binary cat: `type` stops at the first NUL";
#else
    fs::path input = WriteInput("large.qef", OneByteTooLarge());
    CommandResult result = PipeIntoQefdump("cat " + Quoted(input), "-");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "qefdump: (stdin): Don't parse file greather than 32 MB.\n");
    EXPECT_EQ(result.out, "");
#endif
}

// The size is checked before the signature, so a 38 MB dump fed back in is refused for its size.
TEST_F(QefdumpTest, RefusesALongStream) {
    fs::path input = WriteInput("mixed.qef", GenerateSample(SAMPLE_MIXED, 1, 6000000));
    std::string producer = ToolCommand(QEFDUMP_PATH) + " " + Quoted(input) + " 2> " + NullDevice();
    CommandResult result = PipeIntoQefdump(producer, "");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "qefdump: (stdin): Don't parse file greather than 32 MB.\n");
    EXPECT_EQ(result.out, "");
}

TEST_F(QefdumpTest, WritesTheOutputFile) {
    fs::path input = WriteInput("example.qef", ExampleFile());
    CommandResult result = Qefdump("-o " + Quoted(folder_ / "out.txt") + " " + Quoted(input));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(ReadFileText(folder_ / "out.txt"), ExampleDump);
    EXPECT_EQ(Names(), "example.qef out.txt ");
}

TEST_F(QefdumpTest, ReplacesAnExistingOutputFile) {
    fs::path input = WriteInput("example.qef", ExampleFile());
    WriteFileText(folder_ / "out.txt", std::string(100000, 'x'));
    CommandResult result = Qefdump("--output=" + Quoted(folder_ / "out.txt") + " " + Quoted(input));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(ReadFileText(folder_ / "out.txt"), ExampleDump);
    EXPECT_EQ(Names(), "example.qef out.txt ");
}

TEST_F(QefdumpTest, CreatesNoOutputFileOnRefusal) {
    fs::path input = WriteInput("refused.qef", OneBytePastTheEnd());
    CommandResult result = Qefdump("-o " + Quoted(folder_ / "out.txt") + " " + Quoted(input));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(Names(), "refused.qef ");
}

TEST_F(QefdumpTest, ListsTheRecords) {
    fs::path input = WriteInput("example.qef", ExampleFile());
    CommandResult result = Qefdump("--records " + Quoted(input));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, ExampleRecords);
    EXPECT_EQ(result.err, "");
}

TEST_F(QefdumpTest, ListsTheRecordsIntoTheOutputFile) {
    fs::path input = WriteInput("example.qef", ExampleFile());
    CommandResult result = Qefdump(Quoted(input) + " --records -o " + Quoted(folder_ / "list.txt"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(ReadFileText(folder_ / "list.txt"), ExampleRecords);
}

struct UsageCase {
    const char* name;
    const char* arguments;
    const char* message;
};

class QefdumpUsageTest : public QefdumpTest, public ::testing::WithParamInterface<UsageCase> {};

// The files named here do not exist: a usage error is found before any file is opened.
TEST_P(QefdumpUsageTest, ExitsWithTwo) {
    CommandResult result = Qefdump(GetParam().arguments);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, UsageErrorText(GetParam().message));
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Errors, QefdumpUsageTest,
    ::testing::Values(UsageCase{"UnknownOption", "--bogus a.qef", "unknown option '--bogus'"},
                      UsageCase{"UnknownShortOption", "-x", "unknown option '-x'"},
                      UsageCase{"BadNumeration", "-n hex a.qef",
                                "numeration must be multi, single or offset, not 'hex'"},
                      UsageCase{"NumerationInCapitals", "--numeration=MULTI a.qef",
                                "numeration must be multi, single or offset, not 'MULTI'"},
                      UsageCase{"MissingValue", "a.qef -o", "missing value for '-o'"},
                      UsageCase{"ValueForAFlag", "--records=yes a.qef",
                                "this option takes no value: '--records=yes'"},
                      UsageCase{"TwoFiles", "a.qef b.qef",
                                "more than one file given; the second is 'b.qef'"}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

TEST_F(QefdumpTest, ShowsHelp) {
    CommandResult result = Qefdump("--help");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.substr(0, result.out.find('\n') + 1),
              "usage: qefdump [-n multi|single|offset] [-o OUT] [--records] [FILE|-]\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(QefdumpTest, ShowsTheVersion) {
    CommandResult result = Qefdump("--version");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "qefdump " QEF_EXPECTED_VERSION "\n");
}

TEST_F(QefdumpTest, ReportsAMissingFile) {
    CommandResult result = Qefdump(Quoted(folder_ / "missing.qef"));
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err,
              "qefdump: " + (folder_ / "missing.qef").string() + ": No such file or directory\n");
    EXPECT_EQ(result.out, "");
}

TEST_F(QefdumpTest, ReportsAFolderGivenAsInput) {
    CommandResult result = Qefdump(Quoted(folder_.Path()));
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err.rfind("qefdump: " + folder_.Path().string() + ": ", 0), 0u) << result.err;
}

TEST_F(QefdumpTest, ReportsAnOutputFileInAMissingFolder) {
    fs::path input = WriteInput("example.qef", ExampleFile());
    fs::path output = folder_ / "no-such-folder" / "out.txt";
    CommandResult result = Qefdump("-o " + Quoted(output) + " " + Quoted(input));
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "qefdump: " + output.string() + ": No such file or directory\n");
    EXPECT_EQ(Names(), "example.qef ");
}

// With the file-size limit low and its signal ignored, the writes into the temporary file fail
// part-way, as on a full disk.
TEST_F(QefdumpTest, RemovesTheTemporaryFileWhenAWriteFails) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a POSIX shell to limit the file size";
#else
    fs::path input = WriteInput("mixed.qef", GenerateSample(SAMPLE_MIXED, 1, 1000000));
    WriteFileText(folder_ / "out.txt", "old bytes\n");
    CommandResult result =
        RunCommand("trap '' XFSZ; ulimit -f 64; " + ToolCommand(QEFDUMP_PATH) + " -o " +
                       Quoted(folder_ / "out.txt") + " " + Quoted(input),
                   scratch_.Path());
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "qefdump: " + (folder_ / "out.txt").string() + ": File too large\n");
    EXPECT_EQ(ReadFileText(folder_ / "out.txt"), "old bytes\n");
    EXPECT_EQ(Names(), "mixed.qef out.txt ");
#endif
}

// Every write of a large dump fails at once.
TEST_F(QefdumpTest, ReportsAFullDeviceAsOutputFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full";
#else
    fs::path input = WriteInput("mixed.qef", GenerateSample(SAMPLE_MIXED, 1, 1000000));
    CommandResult result = Qefdump("-o /dev/full " + Quoted(input));
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "qefdump: /dev/full: No space left on device\n");
#endif
}

// A dump this small sits in the stream's buffer until the final flush, which must be checked.
TEST_F(QefdumpTest, ReportsAFullStandardOutputAtTheFinalFlush) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full";
#else
    fs::path input = WriteInput("example.qef", ExampleFile());
    CommandResult result = Qefdump(Quoted(input), "/dev/full");
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "qefdump: (stdout): No space left on device\n");
#endif
}

} // namespace
