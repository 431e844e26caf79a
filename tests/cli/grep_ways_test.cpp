// What qefdump does as grep does: -r's walk of the folders named, in a stable order, each file
// checked as a named file; --color's marks for a terminal; standard input and odd file names
// named in what it writes of several files, every --json line valid to a strict parser
// (python3's json) whatever the name.
#include "cli/hit_marks.h"
#include "dump/line_layout.h"
#include "tools/sample_files.h"

#include "tests/cli/cli_testing.h"

#include <algorithm>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using namespace std::string_literals;
using Cli = CliTest;
using Names = CliTest;

// A signature and one record that holds `text`, MI_VERSION's, its data from offset 0x25.
std::string Holding(const std::string& text) {
    std::string file = SignatureFile<std::string>();
    AppendRecord(file, 0x7265560A, text);
    return file;
}

// Files, and folders inside folders, in the walk's order: by name as bytes, depth first, and
// "b" before "b.qef" only because the folder's entries are taken in their own order. Anything
// that is not a module-info file is told and skipped; the others still answer.
TEST_F(Cli, RecursiveWalksFoldersSortedByNameAndChecksEveryFileFound) {
    fs::create_directories(work_ / "d" / "empty");
    Put({{"d/b.qef", Holding("xyz")},
         {"d/a.qef", Holding("xyz xyz")},
         {"d/b/inner.qef", Holding("-")},
         {"d/notes.txt", "not one\n"},
         {"top.qef", Holding("xyz")}});
    auto rows = [](const std::string& count) {
        return "tag       name             records       bytes\n0A566572  MI_VERSION             1"
               "           " +
               count + "\ntotal                            1           " + count + "\n";
    };
    Check({{"-r -c --find xyz top.qef d", 2, "top.qef:1\nd/a.qef:2\nd/b/inner.qef:0\nd/b.qef:1\n",
            "qefdump: d/notes.txt: No QEF format. Only 8 bytes, too few for the 21-byte signature "
            "at offset 8.\n"},
           // One file found is named too, as grep names what it finds in a folder; -h leaves it
           // out. Without FILE, the working folder, its files named without "./".
           {"-r -c --find xyz d/b", 1, "d/b/inner.qef:0\n", ""},
           {"-r -h -c --find - d/b", 0, "1\n", ""},
           {"-r -l --find xyz", 2, "d/a.qef\nd/b.qef\ntop.qef\n"},
           // The statistics end in how many files were counted and refused; an empty folder
           // gives nothing to count, and a search in it finds nothing.
           {"-r -h --stats --tag MI_VERSION d", 1,
            rows("7") + rows("1") + rows("3") + "3 files counted, 1 refused\n"},
           {"-r --stats d/empty", 0, "", ""},
           {"-r --find x d/empty", 1, "", ""},
           // OUT among the files found is checked against each of them, as against a named file.
           {"-r --records -o d/a.qef d", 2, "", "qefdump: d/a.qef: input file is output file\n"},
           {"-r in.qef", 2, ""}}); // the dump takes one file
}

// Several threads write what one writes, byte for byte, messages too: files whose lines are
// kept while they wait their turn, refused ones, and one whose lines are too many to keep.
TEST_F(Cli, ThreadsWriteWhatOneThreadWrites) {
    fs::create_directories(work_ / "d");
    for (int k = 0; k < 40; ++k)
        WriteBytes(work_ / "d" / (std::to_string(k) + ".qef"),
                   k % 7 == 3 ? "broken" : Holding(std::string(size_t(k) * 5, 'x')));
    WriteBytes(work_ / "d" / "big.qef", SampleBytes(SAMPLE_EMPTY_RECORDS, 1, 400000));
    for (const char* task : {"--records", "--json --find xx", "-c --find xxx", "--stats"}) {
        Result one = Run(QEFDUMP_PATH, "-r --threads 1 "s + task + " d");
        Result four = Run(QEFDUMP_PATH, "-r --threads 4 "s + task + " d");
        EXPECT_TRUE(one.out == four.out && one.err == four.err && one.exitCode == four.exitCode)
            << task;
        EXPECT_TRUE(one.out.size() > (task == "--records"s ? 3000000u : 400u)) << task;
        EXPECT_EQ(std::count(one.err.begin(), one.err.end(), '\n'), 6) << task;
    }
    EXPECT_EQ(Run(QEFDUMP_PATH, "-r -q --threads 3 --find xxxxx d").exitCode, 0);
}

// The hit's bytes that its dump line shows, and only those, marked in both columns; each half of
// the hexadecimal column apart. The marks come only when asked for or for a terminal.
TEST_F(Cli, ColorMarksTheHitsBytesInItsDumpLine) {
    const std::string Mark = "\033[01;31m", Plain = "\033[m";
    WriteBytes(work_ / "in.qef", Holding("abcdefghijklmnopqrstuvwxyz"));
    const std::string Head = "         2  0000002A  MI_VERSION    00000037: MI_VERSION    |00026| ";
    const std::string Line =
        Head + "61 62 63 64 65 66 67 68 - 69 6A 6B 6C 6D 6E 6F 70 | abcdefghijklmnop \n";
    const std::string Marked = Head + "61 62 63 64 65 " + Mark + "66 67 68" + Plain + " - " + Mark +
                               "69 6A 6B 6C 6D 6E 6F 70" + Plain + " | abcde" + Mark +
                               "fghijklmnop" + Plain + " \n";
    const std::string Find = "-n offset --find fghijklmnopqrstu in.qef ";
    Check({{Find + "--color=always", 0, Marked},
           {Find + "--color always -o -", 0, Marked},
           {Find, 0, Line},
           {Find + "--color=never", 0, Line},
           {Find + "--color=auto", 0, Line}, // to a file
           {Find + "--color=auto -o out.txt", 0, ""},
           {"--color=yes --find a in.qef", 2, "",
            "qefdump: --color must be auto, always or never, not 'yes'\nTry 'qefdump --help'.\n"},
           {"--json --color=always --find a in.qef", 2, ""}});
    EXPECT_EQ(ReadText(work_ / "out.txt"), Line);
    // In the header's bytes, which the line does not show, and up to the line's last byte.
    const std::string Dump = Line.substr(36, DumpLineLength - 2);
    EXPECT_EQ(MarkHit(Dump, 0x25, 0x21, 5), Dump.substr(0, 32) + Mark + "61" + Plain +
                                                Dump.substr(34, 50) + Mark + "a" + Plain +
                                                Dump.substr(85));
    EXPECT_EQ(MarkHit(Dump, 0x25, 0x34, 1), Dump.substr(0, 79) + Mark + "70" + Plain +
                                                Dump.substr(81, 18) + Mark + "p" + Plain +
                                                Dump.substr(100));
    EXPECT_EQ(MarkHit(Dump, 0x25, 0x35, 9), Dump);
    // auto: for a terminal only, and never while NO_COLOR holds something.
    EXPECT_TRUE(MarksHits(COLOR_AUTO, true, nullptr) && MarksHits(COLOR_AUTO, true, "") &&
                MarksHits(COLOR_ALWAYS, false, "1"));
    EXPECT_FALSE(MarksHits(COLOR_AUTO, true, "1") || MarksHits(COLOR_AUTO, false, nullptr) ||
                 MarksHits(COLOR_NEVER, true, nullptr));
}

// The lines of the search, the record list and the statistics call standard input
// "(standard input)", as grep's do; the messages keep "(stdin)".
TEST_F(Cli, StandardInputIsNamedAsGrepNamesIt) {
    Put({{"in.qef", Holding("abcdefghijklmnopqrstuvwxyz")}, {"bad.qef", "x"}});
    Check({{"-c --find abc in.qef - < in.qef", 0, "in.qef:1\n(standard input):1\n", ""},
           {"-l --find abc - in.qef < in.qef", 0, "(standard input)\nin.qef\n", ""},
           {"-H --records - < in.qef", 0,
            "(standard input):         1  00000000  4D 6F 64 00  MI_SIGNATURE          21\n"
            "(standard input):         2  0000001D  0A 56 65 72  MI_VERSION            26\n"},
           {"-H --json --stats --tag MI_VERSION - < in.qef", 0,
            "{\"file\": \"(standard input)\", \"tag\": \"0A566572\", \"name\": \"MI_VERSION\", "
            "\"records\": 1, \"bytes\": 26}\n"},
           {"--records - < bad.qef", 1, "",
            "qefdump: (stdin): No QEF format. Only 1 byte, too few for the 21-byte signature at "
            "offset 8.\n"}});
}

// Links, pipes, modes and names with controls: POSIX only.
#ifndef _WIN32
// A symbolic link is followed when it is named and left alone when it is met; so is a pipe, that
// would keep the walk waiting. A folder that cannot be read is told, and the status says so.
TEST_F(Cli, RecursiveFollowsOnlyTheLinksItIsGiven) {
    fs::create_directories(work_ / "d" / "sub");
    Put({{"d/sub/a.qef", Holding("xyz")}, {"outside.qef", Holding("xyz")}});
    fs::create_symlink("../outside.qef", work_ / "d" / "file-link.qef");
    fs::create_directory_symlink("sub", work_ / "d" / "folder-link");
    ASSERT_EQ(mkfifo((work_ / "d" / "pipe").c_str(), 0600), 0);
    Check({{"-r -l --find xyz d", 0, "d/sub/a.qef\n", ""},
           {"-r -l --find xyz d/folder-link d/file-link.qef", 0,
            "d/folder-link/a.qef\nd/file-link.qef\n"}});
    fs::create_directory(work_ / "d" / "closed");
    fs::permissions(work_ / "d" / "closed", fs::perms::none);
    if (Run("/bin/sh", "-c 'ls d/closed'").exitCode != 0) // not for a user that reads all
        Check({{"-r -l --find xyz d", 2, "d/sub/a.qef\n", "qefdump: d/closed: Permission denied\n"},
               {"-r --records d", 3}});
    fs::permissions(work_ / "d" / "closed", fs::perms::owner_all);
}

// A name of every byte but NUL and the slash, in order (stray continuation bytes, lead bytes
// without their continuation, the controls) beside a plain one; each line parsed on its own.
constexpr const char* StrictReader = R"(
import json, shutil, subprocess, sys
name = bytes(b for b in range(1, 256) if b != 0x2F)
shutil.copy('b.qef', name)
for mode in (['--records'], ['--find', 'Mod'], ['--stats']):
    out = subprocess.run([sys.argv[1], *mode, '--json', name, 'b.qef'], check=True,
                         capture_output=True).stdout
    lines = [json.loads(line.decode('utf-8')) for line in out.splitlines()]
    odd = [line for line in lines if 'file_hex' in line]
    assert odd and len(odd) * 2 == len(lines), lines
    for line in odd:
        assert bytes.fromhex(line['file_hex']) == name, line
        assert line['file'] == name.decode('utf-8', 'replace'), line
    assert all(line['file'] == 'b.qef' for line in lines if 'file_hex' not in line)
print('valid')
)";

TEST_F(Names, EveryJsonLineIsValidWhateverTheNameAndGivesItBackWhole) {
    WriteBytes(work_ / "b.qef", SampleBytes(SAMPLE_MIXED, 5, 2000));
    WriteBytes(root_ / "reader.py", StrictReader);
    Result read = Run("python3", Quoted(root_ / "reader.py") + " " + QEFDUMP_PATH);
    EXPECT_EQ(read.out, "valid\n") << read.err;
}

// The prefix of a name that would steer a terminal or split a line, against the message that
// names the same file when it is refused: the same quoting, in the shell's form.
TEST_F(Names, PrefixQuotesTheNameAsTheMessagesDo) {
    std::string sample = SampleBytes(SAMPLE_MIXED, 5, 400);
    for (const auto& [name, quoted] : {std::pair{"a\033[1m.qef", "'a'$'\\033''[1m.qef'"},
                                       {"new\nline.qef", "'new'$'\\n''line.qef'"},
                                       {"it's x.qef", "\"it's x.qef\""},
                                       {"plain.qef", "plain.qef"}}) {
        SCOPED_TRACE(quoted);
        Fresh();
        WriteBytes(work_ / "b.qef", sample);
        WriteBytes(work_ / name, sample);
        Result listed = Run(QEFDUMP_PATH, "--records -- [!b]* b.qef");
        std::string prefix = std::string(quoted) + ":";
        std::istringstream lines(listed.out);
        int ours = 0;
        for (std::string line; std::getline(lines, line); ours += line.starts_with(prefix))
            EXPECT_TRUE(line.starts_with(prefix) || line.starts_with("b.qef:")) << line;
        EXPECT_GE(ours, 2);
        WriteBytes(work_ / name, "not a module-info file");
        Result refused = Run(QEFDUMP_PATH, "--records -- [!b]* b.qef");
        EXPECT_TRUE(refused.err.starts_with("qefdump: " + prefix + " ")) << refused.err;
    }
}
#endif

} // namespace
