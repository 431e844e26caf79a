// qefdump and qefgen run for real, in folders of their own; the diff's search as a library.
#include "cli/diff.h"
#include "dump/module_info.h"
#include "tools/sample_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using File = std::string;

const File Tags[3] = {"\nVer", "\nEnd", {'\x10', 0, 0, '1'}};

File Record(const File& tag, uint32_t size, const std::string& data) {
    return tag + File{char(size), char(size >> 8), char(size >> 16), char(size >> 24)} + data;
}

File Signed(const std::string& signature = "Module info file v2.0") {
    return Record("Mod\0"s, uint32_t(signature.size()), signature);
}

File Generated(SampleShape shape, uint32_t seed, uint32_t size) {
    std::vector<unsigned char> bytes = GenerateSample(shape, seed, size);
    return File(bytes.begin(), bytes.end());
}

const unsigned char* Data(const File& file) {
    return reinterpret_cast<const unsigned char*>(file.data());
}

struct Sink final : DumpLineSink {
    bool WriteLines(const char* lines, size_t bytes) override {
        text.append(lines, bytes);
        return true;
    }
    std::string text;
};

std::string Dump(const File& file, Numeration mode) {
    Sink sink;
    std::vector<char> chunk(64 * DumpLineLength);
    WriteDumpLines(Data(file), uint32_t(file.size()), mode, chunk.data(), chunk.size(), &sink,
                   nullptr);
    return sink.text;
}

// Per record, its dump lines as a diff shows them: a space in front, LF for CR LF.
std::vector<std::string> DumpByRecord(const File& file, Numeration mode) {
    std::string text = Dump(file, mode);
    std::vector<std::string> records;
    for (uint32_t at = 0, line = 0, size = 0; at < file.size(); at += RecordHeaderSize + size) {
        size = ReadRecordHeader(Data(file) + at).size;
        records.emplace_back();
        for (uint32_t k = std::max(1u, (size + 15) / 16); k-- > 0; line += DumpLineLength)
            records.back() += ' ' + text.substr(line, DumpLineLength - 2) + "\n";
    }
    return records;
}

// What qefdump writes of `file` for `product`: the record list, as JSON Lines, or a record's data.
constexpr int NOTHING = 0, RECORDS = 1, JSON = 2, EXTRACT = 10, DUMP = -4; // + record, + mode
std::string Listed(const File& file, int product) {
    std::string list;
    char line[160];
    for (uint32_t at = 0, number = 1; at < file.size(); ++number) {
        const unsigned char* record = Data(file) + at;
        RecordHeader header = ReadRecordHeader(record);
        if (product == int(EXTRACT + number))
            return file.substr(at + RecordHeaderSize, header.size);
        std::string_view name = LookupTagName(header.tag); // 12 characters, space-padded
        std::snprintf(line, sizeof line,
                      product == JSON
                          ? "{\"record\": %u, \"offset\": %u, \"tag\": \"%02X%02X%02X%02X\", "
                            "\"name\": \"%.*s\", \"size\": %u}\n"
                          : "%10u  %08X  %02X %02X %02X %02X  %-12.*s  %10u\n",
                      number, at, record[0], record[1], record[2], record[3],
                      int(std::min(name.find(' '), name.size())), name.data(), header.size);
        list += line;
        at += RecordHeaderSize + header.size;
    }
    return list;
}

// Text mode reads what Windows writes in text mode (stderr) with LF for CR LF.
std::string ReadText(const fs::path& path, std::ios::openmode mode = std::ios::binary) {
    std::ostringstream text;
    text << std::ifstream(path, mode).rdbuf();
    return text.str();
}

std::string Quoted(const fs::path& path) {
    return '"' + path.string() + '"';
}

struct Result {
    int exitCode; // -1 when the program did not exit normally
    std::string out, err;
};

// Commands run in work_, their output caught beside it.
class Cli : public ::testing::Test {
  protected:
    Cli() { Fresh(); }
    ~Cli() override { fs::remove_all(root_, ignored_); }
    void Fresh() {
        fs::remove_all(work_);
        fs::create_directories(work_);
    }
    Result Run(const char* tool, const std::string& arguments) {
        fs::path path(tool);
#ifdef _WIN32
        // A cross build knows the program by its build-host path; the current drive maps it.
        path = fs::absolute(path.make_preferred());
#endif
        std::string full = "cd " + Quoted(work_) + " && " + Quoted(path) + " " + arguments + " > " +
                           Quoted(root_ / "out") + " 2> " + Quoted(root_ / "err");
        int code = -1;
#ifdef _WIN32
        // cmd /c drops the first and the last quote of a line that starts with one. Under Wine
        // it has been seen, once in a whole suite, not to start a program that was there (9009).
        full = "\"" + full.insert(3, "/d ") + "\"";
        for (int attempt = 0; attempt < 3 && (attempt == 0 || code == 9009); ++attempt)
            code = std::system(full.c_str()); // NOLINT(cert-env33-c)
#else
        // A runaway program stops at 2 GiB a file (512-byte blocks) instead of filling the disk.
        code = std::system(("ulimit -f 4194304; " + full).c_str()); // NOLINT(cert-env33-c)
        code = code != -1 && WIFEXITED(code) ? WEXITSTATUS(code) : -1;
#endif
        return {code, ReadText(root_ / "out"), ReadText(root_ / "err", std::ios::in)};
    }

    std::error_code ignored_;
    fs::path root_ = fs::temp_directory_path() / ("qef-" + std::to_string(std::random_device()()));
    fs::path work_ = root_ / "w";
};

// Mixed records and then more short ones than one chunk of the record list holds.
File Sample() {
    File file = Generated(SAMPLE_MIXED, 7, 200000);
    for (uint32_t k = 0; k < 15000; ++k)
        file += Record(Tags[k % 3], k % 37, std::string(k % 37, char(k)));
    return file;
}

File PastTheEnd() {
    return Signed() + Record(Tags[0], 5, "1234");
}

constexpr const char* PastTheEndError = "QEF format error. Record 2 at offset 0x1D declares 5 "
                                        "data bytes, but only 4 follow its header.\n";

struct Case {
    const char* arguments;
    int exitCode;
    std::string err; // after "qefdump: "; a usage error's without its line break and hint
    int product = NOTHING;
    File (*input)() = Sample;
};

const Case Cases[] = {
    {"in.qef", 0, "", DUMP + NUMERATION_MULTI},
    {"-n single -o out.txt in.qef", 0, "", DUMP + NUMERATION_SINGLE},
    {"-noffset < in.qef", 0, "", DUMP + NUMERATION_OFFSET},
    {"--num offset - < in.qef", 0, "", DUMP + NUMERATION_OFFSET},
    {"--numeration=single --output=out.txt in.qef", 0, "", DUMP + NUMERATION_SINGLE},
    {"--rec in.qef", 0, "", RECORDS},
    {"in.qef -oout.txt --records", 0, "", RECORDS},
    {"--records --json in.qef", 0, "", JSON},
    {"--extract 1 in.qef", 0, "", EXTRACT + 1},
    {"--ex 3 -o out.txt in.qef", 0, "", EXTRACT + 3},
    {"-o out.txt in.qef", 1,
     "in.qef: No QEF format. Only 0 bytes, too few for the 21-byte signature at offset 8.\n",
     NOTHING, [] { return File(); }},
    {"-o out.txt in.qef", 1,
     "in.qef: No QEF format. The 21 bytes at offset 8 are \"Module.info file v2~.\", not a "
     "signature.\n",
     NOTHING, [] { return Signed("Module\x1Finfo file v2~\x7F"); }},
    {"-o out.txt < in.qef", 1, "(stdin): "s + PastTheEndError, NOTHING, PastTheEnd},
    {"--records in.qef", 1,
     "in.qef: QEF format error. Record 2 at offset 0x1D: only 7 bytes left, too few for a record "
     "header.\n",
     NOTHING, [] { return Signed() + "\nVer\4\0\0"s; }},
    {"-o out.txt in.qef", 1,
     "in.qef: Don't parse file greather than 32 MB. The file has 32000001 bytes, more than the "
     "limit of 32000000.\n",
     NOTHING, [] { return Generated(SAMPLE_ONE_RECORD, 1, MaxModuleInfoLength) + "x"; }},
    {"-o in.qef in.qef", 2, "in.qef: input file is output file\n"},
    {"-o in.qef < in.qef", 2, "in.qef: input file is output file\n"},
    {"-o out.txt -- -in.qef", 3, "-in.qef: No such file or directory\n"},
    {"-o no/out.txt in.qef", 3, "no/out.txt: No such file or directory\n"},
    {"--extract 2 -o out.txt in.qef", 2, "in.qef: there is no record 2: the file has 1 record\n",
     NOTHING, [] { return Signed(); }},
    {"--diff - in.qef < in.qef", 0, ""},
    {"-o out.txt --diff - in.qef < in.qef", 2, "(stdin): "s + PastTheEndError, NOTHING, PastTheEnd},
    {"--diff in.qef missing.qef -o out.txt", 2, "missing.qef: No such file or directory\n"},
    {"--bogus in.qef", 2, "unknown option '--bogus'"},
    {"-x", 2, "unknown option '-x'"},
    {"--=x", 2, "unknown option '--=x'"},
    {"-hx", 2, "unknown option '-hx'"},
    {"--records=yes in.qef", 2, "this option takes no value: '--records=yes'"},
    {"-n hex in.qef", 2, "numeration must be multi, single or offset, not 'hex'"},
    {"--numeration=MULTI in.qef", 2, "numeration must be multi, single or offset, not 'MULTI'"},
    {"in.qef -o", 2, "missing value for '-o'"},
    {"in.qef b.qef", 2, "more than one file given; the second is 'b.qef'"},
    {"--diff a b c", 2, "more than two files given; the third is 'c'"},
    {"--diff a", 2, "--diff compares two files: A and B"},
    {"--diff - -", 2, "only one of the two files can be standard input"},
    {"-U x --diff a b", 2, "the context must be a number of records, not 'x'"},
    {"--records --diff --extract 1 a b", 2, "--records, --diff and --extract exclude each other"},
    {"--json a", 2, "--json goes only with --records"},
    {"--extract 0 a", 2, "the record to extract must be a number from 1, not '0'"},
};

// Whatever qefdump refuses leaves in.qef and an OUT holding "old" as they were.
TEST_F(Cli, QefdumpWritesWhatTheCoreWritesOrNothing) {
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.arguments);
        Fresh();
        File input = c.input();
        std::ofstream(work_ / "in.qef", std::ios::binary) << input;
        std::ofstream(work_ / "out.txt", std::ios::binary) << "old\n";
        Result result = Run(QEFDUMP_PATH, c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        std::string hint = c.err.ends_with('\n') ? "" : "\nTry 'qefdump --help'.\n";
        EXPECT_EQ(result.err, c.err.empty() ? "" : "qefdump: " + c.err + hint);
        std::string out = ReadText(work_ / "out.txt");
        std::string expected = c.product < NOTHING    ? Dump(input, Numeration(c.product - DUMP))
                               : c.product == NOTHING ? ""
                                                      : Listed(input, c.product);
        EXPECT_TRUE(result.out + (out == "old\n" ? "" : out) == expected);
        EXPECT_TRUE(ReadText(work_ / "in.qef") == input);
        EXPECT_EQ(std::distance(fs::directory_iterator(work_), {}), 2); // no temporary left
    }
}

// Random pairs of files, some past the search's cost limit: in every mode and context the
// script turns A into B, shows each record (one to three lines) as the dump of its own file
// does and, within the limit, is as short as the longest common subsequence allows.
TEST(Diff, FindsAShortestScriptOfTheRecordsOwnDumpLines) {
    std::mt19937 random(1);
    const uint32_t sizes[] = {0, 5, 17, 32, 40};
    for (int round = 0; round < 400; ++round) {
        std::string names[2]; // the signature record, S (v2.0) or T (v1.1), then a letter each
        File files[2];
        for (int f = 0; f < 2; ++f) {
            names[f] = random() % 4 ? "S" : "T";
            files[f] = Signed(names[f] == "S" ? "Module info file v2.0" : "Module info file v1.1");
            for (uint32_t k = random() % (round % 40 ? 16 : 2000), n = 0; k-- > 0;
                 names[f] += char('a' + n)) {
                n = random() % 5;
                files[f] += Record(Tags[n % 3], sizes[n], std::string(sizes[n], char('a' + n)));
            }
        }
        const std::string &a = names[0], &b = names[1];
        auto mode = Numeration(1 + random() % 3);
        Sink sink;
        WriteRecordDiff({"a", Data(files[0]), uint32_t(files[0].size())},
                        {"b", Data(files[1]), uint32_t(files[1].size())}, mode, random() % 3, sink);
        const std::string& text = sink.text;
        SCOPED_TRACE(::testing::Message() << a << " " << b << " mode " << mode << "\n" << text);
        EXPECT_EQ(text.substr(0, 12), a == b ? "" : "--- a\n+++ b\n");
        auto dumpA = DumpByRecord(files[0], mode), dumpB = DumpByRecord(files[1], mode);
        size_t i = 0, j = 0, endA = 0, endB = 0, edits = 0;
        for (size_t at = std::min(text.size(), size_t(12)); at < text.size();) {
            if (text.compare(at, 4, "@@ -") == 0) {
                size_t startA = 0, countA = 0, startB = 0, countB = 0;
                char comma = 0, plus = 0;
                std::istringstream(text.substr(at + 4)) >> startA >> comma >> countA >> plus >>
                    startB >> comma >> countB;
                EXPECT_TRUE(i == endA && j == endB);
                i = startA - (countA ? 1 : 0), j = startB - (countB ? 1 : 0);
                EXPECT_EQ(a.substr(endA, i - endA), b.substr(endB, j - endB)); // between hunks
                endA = i + countA, endB = j + countB;
                at = text.find('\n', at) + 1;
                continue;
            }
            char marker = text[at];
            std::string lines = marker == '+' ? dumpB.at(j) : dumpA.at(i);
            for (size_t k = 0; k < lines.size(); k += DumpLineLength)
                lines[k] = marker;
            ASSERT_EQ(text.substr(at, lines.size()), lines);
            EXPECT_TRUE(marker != ' ' || a[i] == b[j]);
            at += lines.size(), i += marker != '+', j += marker != '-', edits += marker != ' ';
        }
        EXPECT_TRUE(i == endA && j == endB && a.substr(endA) == b.substr(endB));
        std::vector<std::vector<size_t>> lcs(a.size() + 1, std::vector<size_t>(b.size() + 1, 0));
        for (size_t x = a.size(); x-- > 0;)
            for (size_t y = b.size(); y-- > 0;)
                lcs[x][y] =
                    a[x] == b[y] ? lcs[x + 1][y + 1] + 1 : std::max(lcs[x + 1][y], lcs[x][y + 1]);
        EXPECT_TRUE(round % 40 == 0 || edits == a.size() + b.size() - 2 * lcs[0][0]);
    }
}

// Samples well-formed, of the size asked for, the same everywhere (FNV-1a), written by qefgen.
TEST_F(Cli, QefgenWritesDeterministicWellFormedSamplesOfExactlyTheSize) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (SampleShape shape : {SAMPLE_MIXED, SAMPLE_ONE_RECORD, SAMPLE_EMPTY_RECORDS})
        for (uint32_t size : {29u, 30u, 36u, 37u, 45u, 123457u}) {
            File file = Generated(shape, size, size);
            ASSERT_EQ(file.size(), size);
            EXPECT_TRUE(IsModuleInfoFile(Data(file), size) && PlanDump(Data(file), size).complete);
            for (char byte : file)
                hash = (hash ^ (unsigned char)byte) * 0x100000001B3ull;
        }
    EXPECT_EQ(hash, 0x46E918857C106770ull);
    Run(QEFGEN_PATH, "--shape empty-records --seed 5 --size 5000 -o s.qef");
    EXPECT_TRUE(ReadText(work_ / "s.qef") == Generated(SAMPLE_EMPTY_RECORDS, 5, 5000));
    EXPECT_TRUE(Run(QEFGEN_PATH, "").out == Generated(SAMPLE_MIXED, 1, 1000000));
    EXPECT_EQ(Run(QEFGEN_PATH, "--size 28").exitCode, 2);
}

// Scripts run beside in.qef and its dump, dump.txt, and their transcripts (stdout, stderr):
// help, version, diff's context, large inputs, little memory (OUT's own scenes are in
// output_test.cpp). `d F...` prints "F: dump" or F's text. As root only with a /dev of their
// own (private-dev): no fault may replace /dev/full.
#ifndef _WIN32
const std::pair<const char*, const char*> Scenes[] = {
    {"$Q --help >h; echo $?; head -1 h; awk 'length > 79' h; $Q --version\n"
     "$G --shape empty-records --size 85 -o a; tr '\\n' X <a >b; $Q --diff a in.qef >/dev/full\n"
     "for u in '-U 0' '' '--co 2' --context=9; do $Q --diff $u a b >o; echo $? $(grep ^@@ o); done",
     "0\nusage: qefdump [-n multi|single|offset] [-o OUT] [--records] [FILE|-]\n"
     "qefdump " QEF_EXPECTED_VERSION
     "\nqefdump: (stdout): No space left on device\n1 @@ -3,1 +3,1 @@ @@ -8,1 +8,1 @@\n"
     "1 @@ -2,3 +2,3 @@ @@ -7,2 +7,2 @@\n1 @@ -1,8 +1,8 @@\n1 @@ -1,8 +1,8 @@\n"},
    {"$G --shape one-record --size 32000000 -o L; $Q L >/dev/null; cat L | $Q >/dev/null; echo $?\n"
     "cat in.qef | $Q | cmp - dump.txt && cat L in.qef | $Q\n"
     "script -qec $Q /dev/null </dev/null >t; echo $?; tr -d '\\r' <t",
     "0\nqefdump: (stdin): Don't parse file greather than 32 MB. More than the limit of "
     "32000000 bytes arrived.\n2\nqefdump: standard input is a terminal; give a FILE or pipe "
     "one in\n"},
    {"$G --size 200 | (ulimit -v 40000; $Q >/dev/null); echo $?; echo old >out\n"
     "$G --shape empty-records --size 32000000 -o big.qef\n"
     "(ulimit -v 24576; $Q -o out big.qef); d out\n"
     "(ulimit -v 131072; $Q -o out big.qef); echo $?; stat -c %s out",
     "0\nqefdump: big.qef: Memory allocation error.\nout: old\n0\n411999794\n"},
};

TEST_F(Cli, ScenesGoAsTheirTranscriptsSay) {
    ASSERT_TRUE(geteuid() != 0 || std::getenv("QEF_PRIVATE_DEV"))
        << "as root only with a /dev of its own: run it through tests/cli/private-dev";
    File input = Generated(SAMPLE_MIXED, 3, 200000);
    for (auto [script, transcript] : Scenes) {
        if (!QEF_ADDRESS_LIMIT && std::string_view(script).find("ulimit -v") != std::string::npos)
            continue; // the sanitizers' shadow memory outgrows ulimit -v
        Fresh();
        std::ofstream(work_ / "in.qef", std::ios::binary) << input;
        std::ofstream(work_ / "dump.txt", std::ios::binary) << Dump(input, NUMERATION_MULTI);
        std::ofstream(root_ / "scene.sh")
            << "exec 2>&1; umask 022; Q=" << Quoted(QEFDUMP_PATH) << "; G=" << Quoted(QEFGEN_PATH)
            << "\n"
               "d() { for f; do cmp -s $f dump.txt && echo $f: dump || echo $f: `cat $f`; done }\n"
            << script << "\n";
        EXPECT_EQ(Run("sh", Quoted(root_ / "scene.sh")).out, transcript) << script;
    }
}
#endif

} // namespace
