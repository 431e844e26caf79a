// qefdump run for real, its answers held against the dump core's own: in.qef and an OUT
// holding "old" lie in the folder, and whatever qefdump refuses leaves both as they were.
#include "tests/cli/cli_testing.h"

#include "dump/formatter.h"
#include "dump/module_info.h"
#include "tests/support/recording_target.h"
#include "tests/support/sample_files.h"

#include <csignal>
#include <cstdio>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

const unsigned char Tags[3][4] = {{0x0A, 0x56, 0x65, 0x72}, {0x0A, 0x45, 0x6E, 0x64}, {1, 2, 3, 4}};

// Mixed records and then more short ones than one chunk of the record list holds.
Bytes Sample() {
    Bytes file = GenerateSample(SAMPLE_MIXED, 7, 200000);
    for (uint32_t k = 0; k < 8200; ++k)
        AppendRecord(file, Tags[k % 3], k % 37, std::string(k % 37, char(k)));
    return file;
}

Bytes WithTail(Bytes file, uint32_t declaredSize, size_t keep) {
    AppendRecord(file, Tags[0], declaredSize, "1234");
    file.resize(keep);
    return file;
}

Bytes OneByteTooLarge() {
    Bytes file = GenerateSample(SAMPLE_ONE_RECORD, 1, MaxModuleInfoLength);
    file.resize(MaxModuleInfoLength + 1);
    return file;
}

// What a case writes: nothing, the dump in a numeration mode, or the record list.
constexpr int NOTHING = 0, RECORDS = -1;

std::string Dump(const Bytes& file, Numeration mode) {
    Bytes data = file;
    data.push_back(0);     // the formatter's input ends in a NUL it does not count
    NumerationMode = mode; // each dump here sets its own
    RecordingTarget target;
    EXPECT_TRUE(FormatModuleInfo(target, data.data(), uint32_t(file.size())));
    return target.text;
}

// The layout the help text gives, from the record headers.
std::string RecordList(const Bytes& file) {
    std::string list;
    char line[64];
    unsigned number = 0;
    for (size_t at = 0; at < file.size();) {
        RecordHeader header = ReadRecordHeader(&file[at]);
        std::snprintf(line, sizeof line, "%10u  %08X  %02X %02X %02X %02X  %.12s  %10u\n", ++number,
                      unsigned(at), file[at], file[at + 1], file[at + 2], file[at + 3],
                      LookupTagName(header.tag).data(), unsigned(header.size));
        list += line;
        at += RecordHeaderSize + header.size;
    }
    return list;
}

std::string Expected(const Bytes& file, int product) {
    if (product == NOTHING || product == RECORDS)
        return product == NOTHING ? "" : RecordList(file);
    return Dump(file, Numeration(product));
}

struct Case {
    const char* name;
    Bytes (*input)();
    const char* arguments;
    int exitCode;
    const char* err;
    int product; // NOTHING, RECORDS or a Numeration
};

const Case Cases[] = {
    {"Multi", Sample, "in.qef", 0, "", NUMERATION_MULTI},
    {"SingleReplacesOut", Sample, "-n single -o out.txt in.qef", 0, "", NUMERATION_SINGLE},
    {"AttachedValueFromStdin", Sample, "-noffset < in.qef", 0, "", NUMERATION_OFFSET},
    {"LongPrefixFromDash", Sample, "--num offset - < in.qef", 0, "", NUMERATION_OFFSET},
    {"LongEquals", Sample, "--numeration=single --output=out.txt in.qef", 0, "", NUMERATION_SINGLE},
    {"Records", Sample, "--rec in.qef", 0, "", RECORDS},
    {"RecordsToAttachedOut", Sample, "in.qef -oout.txt --records", 0, "", RECORDS},
    {"Empty", [] { return Bytes(); }, "-o out.txt in.qef", 1,
     "qefdump: in.qef: No QEF format. Only 0 bytes, too few for the 21-byte signature at offset "
     "8.\n",
     NOTHING},
    {"NoSignature", [] { return SignatureRecord("Module\x1Finfo file v2~\x7F"); },
     "-o out.txt in.qef", 1,
     "qefdump: in.qef: No QEF format. The 21 bytes at offset 8 are \"Module.info file v2~.\", "
     "not a signature.\n",
     NOTHING},
    {"PastTheEnd", [] { return WithTail(SignatureRecord(), 5, 41); }, "-o out.txt < in.qef", 1,
     "qefdump: (stdin): QEF format error. Record 2 at offset 0x1D declares 5 data bytes, but only "
     "4 follow its header.\n",
     NOTHING},
    {"ShortHeader", [] { return WithTail(SignatureRecord(), 4, 36); }, "--records in.qef", 1,
     "qefdump: in.qef: QEF format error. Record 2 at offset 0x1D: only 7 bytes left, too few for "
     "a record header.\n",
     NOTHING},
    {"TooLarge", OneByteTooLarge, "-o out.txt in.qef", 1,
     "qefdump: in.qef: Don't parse file greather than 32 MB. The file has 32000001 bytes, more "
     "than the limit of 32000000.\n",
     NOTHING},
    {"SameFile", Sample, "-o in.qef in.qef", 2, "qefdump: in.qef: input file is output file\n",
     NOTHING},
    {"SameFileAsStdin", Sample, "-o in.qef < in.qef", 2,
     "qefdump: in.qef: input file is output file\n", NOTHING},
    {"MissingInput", Sample, "-o out.txt missing.qef", 3,
     "qefdump: missing.qef: No such file or directory\n", NOTHING},
    {"MissingFolder", Sample, "-o no/out.txt in.qef", 3,
     "qefdump: no/out.txt: No such file or directory\n", NOTHING},
};

struct UsageCase {
    const char* arguments;
    const char* message;
};

const UsageCase UsageCases[] = {
    {"--bogus in.qef", "unknown option '--bogus'"},
    {"-x", "unknown option '-x'"},
    {"--=x", "unknown option '--=x'"},
    {"-hx", "unknown option '-hx'"},
    {"--records=yes in.qef", "this option takes no value: '--records=yes'"},
    {"-n hex in.qef", "numeration must be multi, single or offset, not 'hex'"},
    {"--numeration=MULTI in.qef", "numeration must be multi, single or offset, not 'MULTI'"},
    {"in.qef -o", "missing value for '-o'"},
    {"in.qef b.qef", "more than one file given; the second is 'b.qef'"},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class QefdumpTest : public CliTest, public ::testing::WithParamInterface<Case> {};

TEST_P(QefdumpTest, WritesWhatTheCoreWritesOrNothing) {
    const Case& c = GetParam();
    Bytes input = c.input();
    WriteFile(folder_ / "in.qef", input);
    WriteFile(folder_ / "out.txt", "old\n");
    CommandResult result = Run(QEFDUMP_PATH, c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(result.err, c.err);
    std::string out = ReadFileText(folder_ / "out.txt");
    EXPECT_TRUE(result.out + (out == "old\n" ? "" : out) == Expected(input, c.product));
    EXPECT_TRUE(ReadFileText(folder_ / "in.qef") == std::string(input.begin(), input.end()));
    EXPECT_EQ(folder_.Names(), "in.qef out.txt ");
}

INSTANTIATE_TEST_SUITE_P(Cases, QefdumpTest, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    for (const UsageCase& c : UsageCases) {
        CommandResult result = Run(QEFDUMP_PATH, c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.arguments;
        EXPECT_EQ(result.err, "qefdump: " + std::string(c.message) + "\nTry 'qefdump --help'.\n");
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(CliTest, HelpFitsSeventyNineColumnsAndVersionIsTheProjects) {
    CommandResult help = Run(QEFDUMP_PATH, "--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: qefdump [-n multi|single|offset] [-o OUT]", 0), 0u);
    for (size_t start = 0, end; (end = help.out.find('\n', start)) != std::string::npos;
         start = end + 1)
        EXPECT_LE(end - start, 79u) << help.out.substr(start, end - start);
    EXPECT_EQ(Run(QEFDUMP_PATH, "--version").out, "qefdump " QEF_EXPECTED_VERSION "\n");
}

// Hostile surroundings: links, the input itself, other owners and modes, folders qefdump may
// not write, full disks, small address spaces and signals. Each scene is a shell script run
// in a folder holding in.qef and its dump, dump.txt; its transcript (stdout and stderr) tells
// what happened. `d FILE...` prints "FILE: dump" or the file's content. As root, the scenes
// run only with a /dev of their own (private-dev): no fault of qefdump may replace the
// machine's /dev/full or /dev/stdout.
#ifndef _WIN32
enum Needs { ANYONE = 0, ROOT = 1, ADDRESS_LIMIT = 2 };

struct Scene {
    const char* name;
    int needs;
    const char* script;
    const char* transcript;
};

const Scene Scenes[] = {
    {"DevStdoutAndKinAreWrittenThrough", ANYONE,
     "$Q -o /dev/stdout in.qef >a; $Q -o /dev/fd/1 in.qef | cat >b\n"
     "$Q -o /dev/stderr in.qef 2>c; $Q -o /dev/stdin in.qef 0<>e; d a b c e\n"
     "test -L /dev/stdout && test -L /dev/stdin && echo links",
     "a: dump\nb: dump\nc: dump\ne: dump\nlinks\n"},
    {"LinksAreFollowedAndStayLinks", ANYONE,
     "echo old >real; ln -s real link; ln -s gone dangling; ln -s /dev/null null\n"
     "mkdir sub; ln -s ../real sub/up; for o in link dangling null; do $Q -o $o in.qef; done\n"
     "d real gone; echo old >real; $Q -o sub/up in.qef; d real\n"
     "test -L link && test -L dangling && test -L sub/up && test -c /dev/null && echo links",
     "real: dump\ngone: dump\nreal: dump\nlinks\n"},
    {"InputIsOutputHoweverReached", ANYONE,
     "cp in.qef orig; ln in.qef hard; ln -s in.qef sym\n"
     "for o in ./in.qef \"$PWD/in.qef\" hard sym; do $Q -o $o in.qef 2>/dev/null; echo $?; done\n"
     "$Q -o sym <hard; cmp in.qef orig && echo kept",
     "2\n2\n2\n2\nqefdump: sym: input file is output file\nkept\n"},
    {"ReplacingKeepsOwnerModeAndHardLinks", ROOT,
     "for f in a b c; do echo old >$f; done; chown 65534:65534 a; chmod 666 a; chmod 600 b\n"
     "ln c c2; stat -c %i a b c >i; for f in a b c; do $Q -o $f in.qef; done; d a b c2\n"
     "stat -c '%i %n %u:%g %a %h' a b c | paste i - | awk '{print $1 == $2, $3, $4, $5, $6}'",
     "a: dump\nb: dump\nc2: dump\n0 a 65534:65534 666 1\n0 b 0:0 600 1\n1 c 0:0 644 2\n"},
    {"UnwritableAndStickyFoldersAreWrittenInPlace", ROOT,
     "mkdir -m 755 bin ro; mkdir -m 1777 st; cp $Q bin; Q=\"$N bin/qefdump\"\n"
     "for f in ro/f st/f; do echo old >$f; chmod 666 $f; done; chown 65534 ro/f\n"
     "$Q -o ro/f in.qef; $Q -o st/f in.qef; $Q -o ro/new in.qef; echo $?\n"
     "d ro/f st/f; echo ro/* st/*",
     "qefdump: ro/new: Permission denied\n3\nro/f: dump\nst/f: dump\nro/f st/f\n"},
    {"ReadOnlyOutIsKept", ANYONE, "echo old >out; chmod 444 out; $Q -o out in.qef; d out; echo *",
     "qefdump: out: Permission denied\nout: old\ndump.txt in.qef out\n"},
    {"AFullDiskKeepsTheOldOut", ANYONE,
     "echo old >out; (trap '' XFSZ; ulimit -f 64; $Q -o out in.qef); echo $?; d out; echo *\n"
     "$Q -o /dev/full in.qef; $G --size 100 | $Q >/dev/full; test -c /dev/full && echo full",
     "qefdump: out: File too large\n3\nout: old\ndump.txt in.qef out\n"
     "qefdump: /dev/full: No space left on device\n"
     "qefdump: (stdout): No space left on device\nfull\n"},
    {"ATakenTemporaryNameIsPassedOver", ANYONE,
     "echo old >out; stat -c %i out >i; sh -c 'echo squat >out.qefdump-$$-0; exec $0 -o out"
     " in.qef' $Q; d out; cat out.q*; stat -c %i out | cmp -s - i || echo replaced",
     "out: dump\nsquat\nreplaced\n"},
    {"TheLimitHoldsForFilesAndStreams", ANYONE,
     "$G --shape one-record --size 32000000 -o lim.qef; $Q lim.qef >/dev/null\n"
     "$G --shape one-record --size 32000000 | $Q >/dev/null; echo $?\n"
     "cat in.qef | $Q | cmp - dump.txt && cat lim.qef in.qef | $Q",
     "0\nqefdump: (stdin): Don't parse file greather than 32 MB. More than the limit of "
     "32000000 bytes arrived.\n"},
    {"ATerminalOnStandardInputIsRefused", ANYONE,
     "script -qec $Q /dev/null </dev/null >t; echo $?; tr -d '\\r' <t",
     "2\nqefdump: standard input is a terminal; give a FILE or pipe one in\n"},
    {"ASmallAddressSpaceIsEnough", ADDRESS_LIMIT,
     "$G --size 200 | (ulimit -v 40000; $Q >/dev/null); echo $?; echo old >out\n"
     "$G --shape empty-records --size 32000000 -o big.qef\n"
     "(ulimit -v 24576; $Q -o out big.qef); d out\n"
     "(ulimit -v 131072; $Q -o out big.qef); echo $?; stat -c %s out",
     "0\nqefdump: big.qef: Memory allocation error.\nout: old\n0\n411999794\n"},
};

void PrintTo(const Scene& scene, std::ostream* os) {
    *os << scene.name;
}

class FaultTest : public CliTest {
  protected:
    void SetUp() override {
        if (geteuid() == 0 && !std::getenv("QEF_PRIVATE_DEV"))
            GTEST_SKIP() << "as root only with a /dev of its own: run it through private-dev";
        Bytes input = GenerateSample(SAMPLE_MIXED, 3, 200000);
        WriteFile(folder_ / "in.qef", input);
        WriteFile(folder_ / "dump.txt", Dump(input, NUMERATION_MULTI));
    }
};

class SceneTest : public FaultTest, public ::testing::WithParamInterface<Scene> {};

TEST_P(SceneTest, GoesAsTheTranscriptSays) {
    const Scene& scene = GetParam();
    if ((scene.needs & ROOT) && geteuid() != 0)
        GTEST_SKIP() << "needs root to give files to other users";
#ifdef QEF_NO_ADDRESS_LIMIT
    if (scene.needs & ADDRESS_LIMIT)
        GTEST_SKIP() << "the sanitizers' shadow memory needs more than ulimit -v leaves";
#endif
    WriteFile(
        scratch_ / "scene.sh",
        "exec 2>&1; umask 022; Q=" + Quoted(QEFDUMP_PATH) + "; G=" + Quoted(QEFGEN_PATH) +
            "; N='setpriv --reuid=65534 --regid=65534 --clear-groups'\n"
            "d() { for f; do cmp -s $f dump.txt && echo $f: dump || echo $f: $(cat $f); done; }\n" +
            scene.script + "\n");
    CommandResult result =
        RunCommand("sh " + Quoted(scratch_ / "scene.sh"), folder_.Path(), scratch_.Path());
    EXPECT_EQ(result.out, scene.transcript);
}

INSTANTIATE_TEST_SUITE_P(Scenes, SceneTest, ::testing::ValuesIn(Scenes),
                         [](const auto& info) { return std::string(info.param.name); });

// A signal part-way through a large dump ends qefdump as that signal does, and the temporary
// (named after OUT and the process) is gone.
TEST_F(FaultTest, SignalsRemoveTheTemporary) {
    WriteFile(folder_ / "big.qef", GenerateSample(SAMPLE_EMPTY_RECORDS, 1, MaxModuleInfoLength));
    WriteFile(folder_ / "out", "old\n");
    for (int number : {SIGINT, SIGTERM, SIGHUP}) {
        pid_t child = fork();
        if (child == 0) {
            std::signal(number, SIG_DFL);
            if (chdir(folder_.Path().c_str()) == 0)
                execl(QEFDUMP_PATH, "qefdump", "-o", "out", "big.qef", nullptr);
            _exit(127);
        }
        fs::path temporary = folder_ / ("out.qefdump-" + std::to_string(child) + "-0");
        int status = 0;
        pid_t ended = 0;
        std::error_code ignored;
        while (!fs::exists(temporary, ignored) && (ended = waitpid(child, &status, WNOHANG)) == 0) {
        }
        ASSERT_EQ(ended, 0) << "qefdump ended before its temporary was seen";
        kill(child, number);
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == number) << number;
    }
    EXPECT_EQ(ReadFileText(folder_ / "out"), "old\n");
    EXPECT_EQ(folder_.Names(), "big.qef dump.txt in.qef out ");
}

#endif

} // namespace
