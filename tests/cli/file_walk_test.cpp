// qefdump -r: the files under the folders named, in a stable order, each checked as a named file.
#include "tools/sample_files.h"

#include "tests/cli/cli_testing.h"

#include <algorithm>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using namespace std::string_literals;
using Cli = CliTest;

// A signature and one record that holds `text`.
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
    auto rows = [](char bytes) {
        std::string count(1, bytes);
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
            rows('7') + rows('1') + rows('3') + "3 files counted, 1 refused\n"},
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
#endif

} // namespace
