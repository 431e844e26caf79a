// qefdump and qefgen run for real, in folders of their own; its option parser in-process.
#include "dump/viewer_dump.h"
#include "dump/record_text.h"
#include "tests/support/recording_target.h"
#include "tools/damaged_files.h"

#include "tests/cli/cli_testing.h"

#include <algorithm>
#include <regex>

namespace {

using namespace std::string_literals;
using File = std::string;

const uint32_t Tags[3] = {0x7265560A, 0x646E450A, 0x31000010}; // MI_VERSION, MI_END, NM_LABEL

File Signed(const char* signature = "Module info file v2.0") {
    return SignatureFile<File>(signature);
}

const unsigned char* Data(const File& file) {
    return reinterpret_cast<const unsigned char*>(file.data());
}

// What the core writes of `file` for each task qefdump has.
enum Product { NOTHING, DUMP_SINGLE, DUMP_MULTI, DUMP_OFFSET, RECORDS, JSON, EXTRACT };

std::string Produced(const File& file, Product product, uint32_t record = 0) {
    if (product >= DUMP_SINGLE && product <= DUMP_OFFSET) {
        RecordingTarget dump;
        FormatModuleInfo(dump, Data(file), uint32_t(file.size()),
                         Numeration(product - DUMP_SINGLE + NUMERATION_SINGLE));
        return dump.text;
    }
    std::string text;
    WalkRecords(Data(file), uint32_t(file.size()), {}, [&](const ::Record& r) {
        char line[RecordJsonRoom];
        if (product == RECORDS || product == JSON)
            text.append(line,
                        product == JSON ? WriteRecordJson(r, line) : WriteRecordLine(r, line));
        else if (product == EXTRACT && r.Number() == record)
            text.append(reinterpret_cast<const char*>(r.data), r.size);
        return true;
    });
    return text;
}

using Cli = CliTest;

// Mixed records and then more short ones than one chunk of the record list holds.
File Sample() {
    File file = SampleBytes(SAMPLE_MIXED, 7, 200000);
    for (uint32_t k = 0; k < 15000; ++k)
        AppendRecord(file, Tags[k % 3], std::string(k % 37, char(k)));
    return file;
}

File PastTheEnd() { // its second record at offset 0x2A
    File file = SignatureFile<File>("Module info file v2.0", 13);
    AppendRecord(file, Tags[0], "1234", 5);
    return file;
}

constexpr const char* PastTheEndError = "QEF format error. Record 2 at offset 0x2A declares 5 "
                                        "data bytes, but only 4 follow its header.\n";

struct Case {
    const char* arguments;
    int exitCode;
    std::string err; // after "qefdump: "; a usage error's without its line break and hint
    Product product = NOTHING;
    uint32_t record = 0; // for EXTRACT
    File (*input)() = Sample;
};

const Case Cases[] = {
    {"in.qef", 0, "", DUMP_MULTI},
    {"-n single -o out.txt in.qef", 0, "", DUMP_SINGLE},
    {"-noffset < in.qef", 0, "", DUMP_OFFSET},
    {"--num offset - < in.qef", 0, "", DUMP_OFFSET},
    {"--numeration=single --output=out.txt in.qef", 0, "", DUMP_SINGLE},
    {"--rec in.qef", 2, "ambiguous option '--rec'"},
    {"in.qef -oout.txt --records", 0, "", RECORDS},
    {"--records --json in.qef", 0, "", JSON},
    {"--extract 1 in.qef", 0, "", EXTRACT, 1},
    {"--ex 3 -o out.txt in.qef", 0, "", EXTRACT, 3},
    {"-o out.txt in.qef", 1,
     "in.qef: No QEF format. Only 0 bytes, too few for the 21-byte signature at offset 8.\n",
     NOTHING, 0, [] { return File(); }},
    {"-o out.txt in.qef", 1,
     "in.qef: No QEF format. The 21 bytes at offset 8 are \"Module.info file v2~.\", not a "
     "signature.\n",
     NOTHING, 0, [] { return Signed("Module\x1Finfo file v2~\x7F"); }},
    {"-o out.txt < in.qef", 1, "(stdin): "s + PastTheEndError, NOTHING, 0, PastTheEnd},
    {"--records -o out.txt in.qef", 1,
     "in.qef: QEF format error. Record 2 at offset 0x1D: only 1 byte left, too few for a record "
     "header.\n",
     NOTHING, 0, [] { return Signed() + "\n"; }},
    {"-o out.txt in.qef", 1,
     "in.qef: QEF format error. Record 2 at offset 0x1D declares 2 data bytes, but only 1 follows "
     "its header.\n",
     NOTHING, 0, [] { return Signed() + "\nVer\2\0\0\0A"s; }},
    {"-o out.txt in.qef", 1,
     "in.qef: Don't parse file greather than 32 MB. The file has 32000001 bytes, more than the "
     "limit of 32000000.\n",
     NOTHING, 0, [] { return SampleBytes(SAMPLE_ONE_RECORD, 1, MaxModuleInfoLength) + "x"; }},
    {"-o out.txt \"a b.qef\"", 3, "'a b.qef': No such file or directory\n"},
    {"-o no/out.txt in.qef", 3, "no/out.txt: No such file or directory\n"},
    {"--extract 2 -o out.txt in.qef", 2, "in.qef: there is no record 2: the file has 1 record\n",
     NOTHING, 0, [] { return Signed(); }},
    {"--diff - in.qef -o out.txt < in.qef", 0, ""},
    {"-o out.txt --diff - in.qef < in.qef", 2, "(stdin): "s + PastTheEndError, NOTHING, 0,
     PastTheEnd},
    {"--diff in.qef missing.qef -o out.txt", 2, "missing.qef: No such file or directory\n"},
    {"--bogus in.qef", 2, "unknown option '--bogus'"},
    {"--=x", 2, "unknown option '--=x'"},
    {"-hx", 2, "unknown option '-hx'"},
    {"--records=yes in.qef", 2, "this option takes no value: '--records=yes'"},
    {"-n hex in.qef", 2, "numeration must be multi, single or offset, not 'hex'"},
    {"in.qef -o", 2, "missing value for '-o'"},
    {"--diff a b c", 2, "more than two files given; the third is 'c'"},
    {"--diff - -", 2, "only one of the two files can be standard input"},
    {"-U x --diff a b", 2, "the context must be a number of records, not 'x'"},
    {"-U \"\" --diff a b", 2, "the context must be a number of records, not ''"},
    {"--extract 0 a", 2, "the record to extract must be a number from 1, not '0'"},
    {"--extract 99999999999999999999 a", 2,
     "the record to extract is too large: '99999999999999999999'"},
    {"-o \"\" in.qef", 2, "the output file name is empty"},
    {"\"\"", 2, "a file name is empty"},
    {"--find \"\" in.qef", 2, "the text to find is empty"},
    {"--find-hex 4D6 in.qef", 2,
     "the bytes to find must be pairs of hexadecimal digits, not '4D6'"},
    {"-i --find-hex 41 in.qef", 2, "--ignore-case and --utf16 go only with --find"},
    {"--record 2-1 in.qef", 2,
     "--record takes numbers from 1 and ranges N-M, N- or -M, split by commas, not '2-1'"},
    {"-n single in.qef -noffset", 2, "this option is given twice: '-noffset'"},
    {"-c -L --find x in.qef", 2, "--count, -l, -L and --quiet exclude each other"},
    {"--count --find x --json in.qef", 2, "--count goes only with --find, without --json"},
    {"-m x --find x in.qef", 2, "--max-count must be a number of hits, not 'x'"},
    {"-o a.txt --output=b.txt in.qef", 2, "this option is given twice: '--output=b.txt'"},
    {"--stats --record 1,3 -o out.txt in.qef", 2,
     "in.qef: there is no record 3: the file has 1 record\n", NOTHING, 0, [] { return Signed(); }},
    {"--tag MI_NOTHING in.qef", 2,
     "--tag takes a tag's name or its 8 hexadecimal digits, not 'MI_NOTHING'"},
    {"--stats - a -", 2, "only one of the files can be standard input"},
};

// What qefdump writes goes where it was asked to, whole; whatever it refuses leaves in.qef and
// an OUT holding "old" exactly as they were, and no file behind.
TEST_F(Cli, QefdumpWritesWhatTheCoreWritesOrNothing) {
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.arguments);
        Fresh();
        File input = c.input();
        Put({{"in.qef", input}, {"out.txt", "old\n"}});
        Result result = Run(QEFDUMP_PATH, c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        std::string hint = c.err.ends_with('\n') ? "" : "\nTry 'qefdump --help'.\n";
        EXPECT_EQ(result.err, c.err.empty() ? "" : "qefdump: " + c.err + hint);
        bool toOut = std::string_view(c.arguments).find("out.txt") != std::string_view::npos;
        std::string product = c.exitCode == 0 ? Produced(input, c.product, c.record) : "";
        EXPECT_TRUE(result.out == (toOut ? "" : product));
        EXPECT_TRUE(ReadText(work_ / "out.txt") == (toOut && c.exitCode == 0 ? product : "old\n"));
        EXPECT_TRUE(ReadText(work_ / "in.qef") == input);
        EXPECT_EQ(std::distance(fs::directory_iterator(work_), {}), 2); // no temporary left
    }
}

// The indented lines of the help that follow `line`, without their indent.
std::vector<std::string> HelpLinesAfter(const std::string& help, const std::string& line) {
    std::istringstream text(help.substr(help.find(line + "\n") + line.size() + 1));
    std::vector<std::string> lines;
    for (std::string got; std::getline(text, got) && got.starts_with("  ");)
        lines.push_back(got.substr(2));
    return lines;
}

// The help's examples, run: the record list's line (unindented, its columns as counted) and
// object of a signature with 32 data bytes, and the diff of two files whose third records
// differ, as far as the help shows it.
TEST_F(Cli, HelpExamplesGiveWhatTheyShow) {
    File a = Signed();
    AppendRecord(a, Tags[0], "\1\2\0\0"s);
    File b = a;
    AppendRecord(a, Tags[1], "");
    AppendRecord(b, Tags[2], "A");
    Put({{"in.qef", SignatureFile<File>("Module info file v2.0", 11)},
         {"old.qef", a},
         {"new.qef", b}});
    std::string help = Run(QEFDUMP_PATH, "--help").out;
    std::vector<std::string> line = HelpLinesAfter(help, "  for example");
    std::vector<std::string> json =
        HelpLinesAfter(help, "and with --json, where it is one line and the offset is decimal:");
    ASSERT_TRUE(line.size() == 1 && json.size() == 2);
    EXPECT_EQ(Run(QEFDUMP_PATH, "--records in.qef").out, "  " + line[0] + "\n");
    json[1].erase(0, json[1].find_first_not_of(' '));
    EXPECT_EQ(Run(QEFDUMP_PATH, "--records --json in.qef").out, json[0] + " " + json[1] + "\n");
    std::vector<std::string> shown = HelpLinesAfter(help, "  qefdump --diff old.qef new.qef");
    std::istringstream diff(Run(QEFDUMP_PATH, "--diff old.qef new.qef").out);
    ASSERT_EQ(shown.size(), 6u);
    for (const std::string& expected : shown) { // "..." stands for the rest of the line
        std::string got;
        std::getline(diff, got);
        size_t shownBytes = expected.ends_with("...") ? expected.size() - 3 : std::string::npos;
        EXPECT_EQ(got.substr(0, shownBytes), expected.substr(0, shownBytes));
    }
}

// The queries over several files, against plain models: the hits of a comparison at every
// offset, with the lines of the whole dump that show them; the tags against a count; the chosen
// records against the whole dump's lines. A refused file is told and the others still run.
TEST_F(Cli, QueriesGoOverSeveralFilesAsGrepDoes) {
    std::mt19937 random(5);
    File files[2] = {Signed(), Signed()};
    for (File& file : files)
        for (int n = 0; n < 30; ++n)
            AppendRecord(file, Tags[random() % 3],
                         std::string(random() % 20, 'x') + (n % 4 ? "Ab"s : "a\0B\0"s));
    Put({{"a.qef", files[0]},
         {"b.qef", files[1]},
         {"-a.qef", files[0]},
         {"bad.qef", PastTheEnd()}});
    std::string found, json, stats, chosen;
    int hits[2] = {};
    for (int k = 0; k < 2; ++k) {
        const File& file = files[k];
        std::string name = k ? "b.qef:" : "a.qef:", dump = Produced(file, DUMP_OFFSET);
        std::vector<uint32_t> starts, lines; // of each record
        for (uint32_t at = 0, line = 0; at < file.size();) {
            uint32_t size = ReadUint32Le(Data(file) + at + 4);
            starts.push_back(at);
            lines.push_back(line);
            at += 8 + size;
            line += size ? (size + 15) / 16 : 1;
        }
        for (uint32_t at = 0; at + 2 <= file.size(); ++at) {
            bool wide = at + 4 <= file.size() && std::tolower(file[at]) == 'a' && !file[at + 1] &&
                        std::tolower(file[at + 2]) == 'b' && !file[at + 3];
            if (!wide && (std::tolower(file[at]) != 'a' || std::tolower(file[at + 1]) != 'b'))
                continue;
            size_t r = std::upper_bound(starts.begin(), starts.end(), at) - starts.begin() - 1;
            uint32_t data = starts[r] + 8, line = lines[r] + (at < data ? 0 : (at - data) / 16);
            uint32_t tag = ReadUint32Le(Data(file) + starts[r]);
            char head[40], object[200];
            std::snprintf(head, sizeof head, "%10u  %08X  ", unsigned(r + 1), at);
            found += name + head + std::string(LookupTagName(tag)) + "  " +
                     dump.substr(size_t(line) * DumpLineLength, DumpLineLength - 2) + "\n";
            std::snprintf(
                object, sizeof object,
                "{\"file\": \"%.5s\", \"record\": %zu, \"offset\": %u, \"tag\": "
                "\"%02X%02X%02X%02X\", \"name\": \"%s\", \"length\": %s, \"pattern\": 1}\n",
                name.c_str(), r + 1, at, tag & 255, tag >> 8 & 255, tag >> 16 & 255, tag >> 24,
                std::string(TrimmedTagName(tag)).c_str(),
                wide ? "4, \"encoding\": \"utf-16le\"" : "2, \"encoding\": \"text\"");
            json += object;
            ++hits[k];
        }
        if (k == 1) // records 3 to 9 of MI_END's tag, numbered as in the whole dump
            for (uint32_t r = 2; r < 9; ++r)
                if (ReadUint32Le(Data(file) + starts[r]) == Tags[1])
                    chosen += dump.substr(size_t(lines[r]) * DumpLineLength,
                                          size_t(lines[r + 1] - lines[r]) * DumpLineLength);
    }
    // Several patterns: each place once, for the first pattern given that finds it.
    std::string mixed = std::regex_replace(json, std::regex("\"utf-16le\", \"pattern\": 1"),
                                           "\"hex\", \"pattern\": 2");
    std::string text = std::regex_replace(json, std::regex(".*utf-16le.*\n"), "");
    std::string count[2] = {std::to_string(hits[0]), std::to_string(hits[1])};
    const std::string Search = "--find aB -i --utf16 -n offset ";
    std::vector<Expected> runs = {
        {Search + "a.qef bad.qef b.qef", 2, found, "qefdump: bad.qef: "s + PastTheEndError},
        {"--find ab -i --utf16 --json a.qef b.qef", 0, json},
        {"--json --find ab -i --find-hex 61004200 a.qef b.qef", 0, mixed},
        {"--find ab -i --find Ab --find aB --json a.qef b.qef", 0, text},
        {"-L --find-hex 6100420001 a.qef b.qef", 1, "a.qef\nb.qef\n"},
        {"--find-hex \"61 00 42\" a.qef b.qef", 0},
        {"--find-hex 6100420001 a.qef b.qef", 1},
        // grep's reports of the same search: counts, the files with hits and without, the first.
        {Search + "-c a.qef b.qef", 0, "a.qef:" + count[0] + "\nb.qef:" + count[1] + "\n"},
        {Search + "--count -h a.qef", 0, count[0] + "\n"},
        {Search + "-c -- -a.qef", 0, count[0] + "\n"},
        {Search + "-l --null a.qef bad.qef b.qef", 2, "a.qef\0b.qef\0"s},
        {Search + "-L a.qef b.qef", 0, ""},
        {Search + "-q a.qef b.qef", 0, ""},
        {Search + "-H -m 1 a.qef", 0, found.substr(0, found.find('\n') + 1)},
        {Search + "-m 1 --count a.qef b.qef", 0, "a.qef:1\nb.qef:1\n"}};
    // Each file's counts (held against a count in query_test) with its name, as grep's lines.
    for (const char* name : {"a.qef", "b.qef"})
        for (const std::string& line :
             Lines(Run(QEFDUMP_PATH, "--stats --record 2-31 "s + name).out))
            stats += name + (":" + line);
    ASSERT_GT(std::count(stats.begin(), stats.end(), '\n'), 8);
    for (const char* records : {"2-31", "2-", "2-99999999999", "2-9,10-20 --record 21-31"})
        runs.push_back({"--stats a.qef b.qef --record "s + records, 0, stats});
    for (const char* choice : {"--record 3-9 --tag MI_END", "--record 3,4-5,6-7 --record 7-9 --tag "
                                                            "MI_END --tag 01020304"})
        runs.push_back({"-n offset "s + choice + " b.qef", 0, chosen});
    std::string dump = Produced(files[0], DUMP_MULTI);
    dump.erase(std::remove(dump.begin(), dump.end(), '\r'), dump.end());
    runs.push_back({"--lf a.qef", 0, dump});
    Check(runs);
}

// Samples well-formed, of the size asked for, the same everywhere (FNV-1a), written by qefgen.
TEST_F(Cli, QefgenWritesDeterministicWellFormedSamplesOfExactlyTheSize) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (SampleShape shape : {SAMPLE_MIXED, SAMPLE_ONE_RECORD, SAMPLE_EMPTY_RECORDS})
        for (uint32_t size : {29u, 30u, 36u, 37u, 45u, 123457u}) {
            File file = SampleBytes(shape, size, size);
            ASSERT_EQ(file.size(), size);
            EXPECT_TRUE(IsModuleInfoFile(Data(file), size) &&
                        PlanDump(Data(file), size).end == RECORDS_COMPLETE);
            for (char byte : file)
                hash = (hash ^ (unsigned char)byte) * 0x100000001B3ull;
        }
    EXPECT_EQ(hash, 0x46E918857C106770ull);
    Run(QEFGEN_PATH, "--shape empty-records --seed 5 --size 5000 -o s.qef");
    EXPECT_TRUE(ReadText(work_ / "s.qef") == SampleBytes(SAMPLE_EMPTY_RECORDS, 5, 5000));
    EXPECT_TRUE(Run(QEFGEN_PATH, "").out == SampleBytes(SAMPLE_MIXED, 1, 1000000));
    EXPECT_EQ(Run(QEFGEN_PATH, "--size 28").exitCode, 2);
    Run(QEFGEN_PATH, "--seed 4 --size 3000 --damage two -o d.qef");
    std::vector<unsigned char> damaged = DamageSample(SAMPLE_MIXED, 4, 3000, DAMAGE_TWO).bytes;
    EXPECT_TRUE(ReadText(work_ / "d.qef") == File(damaged.begin(), damaged.end()));
    EXPECT_EQ(Run(QEFGEN_PATH, "--damage bent").exitCode, 2);
    Result help = Run(QEFGEN_PATH, "--help");
    EXPECT_TRUE(help.exitCode == 0 && help.out.starts_with("usage: qefgen [--shape"));
}

#ifndef _WIN32
// The diff once as text: a typed-out pair with a change of tag that the lines alone cannot
// show, then random pairs, whose diffs patch applies to A's dump with LF line ends, with no
// offset and no fuzz, and diffstat counts line for line.
TEST_F(Cli, DiffIsAUnifiedDiffThatPatchAndDiffstatRead) {
    File a = Signed();
    AppendRecord(a, Tags[0], "\1\2\0\0"s);
    File b = a;
    AppendRecord(a, 0x31000001, "A");
    AppendRecord(b, 0x31000002, "A");
    for (File* file : {&a, &b})
        AppendRecord(*file, Tags[1], "");
    AppendRecord(b, Tags[2], "ABCDEFGHIJKLMNOPQ");
    Put({{"a.qef", a}, {"b.qef", b}});
    auto line = [](const File& file, size_t k) { // with LF
        return Produced(file, DUMP_MULTI).substr(k * DumpLineLength, DumpLineLength - 2) + "\n";
    };
    Check({{"--diff a.qef b.qef", 1,
            "--- a.qef\n+++ b.qef\n@@ -3,3 +3,5 @@ records 2-4 / 2-5, tags 3:01000031 / "
            "3:02000031\n " +
                line(a, 2) + "-" + line(a, 3) + "+" + line(b, 3) + " " + line(a, 4) + "+" +
                line(b, 5) + "+" + line(b, 6),
            ""}});
    std::mt19937 random(3);
    for (int k = 0; k < 30; ++k) {
        File files[2] = {Signed(), Signed()};
        for (int n = 0; n < 40; ++n) {
            uint32_t kind = random() % 3, size = random() % 3 * 13;
            std::string data(size, char('a' + random() % 2));
            for (File& file : files)
                AppendRecord(file, Tags[kind], random() % 5 ? data : "");
        }
        for (int side = 0; side < 2; ++side)
            WriteBytes(work_ / (std::to_string(k) + (side ? "-b" : "-a")), files[side]);
    }
    std::ofstream(root_ / "pairs.sh")
        << "Q=" << Quoted(QEFDUMP_PATH) << "\n"
        << "for k in $(seq 0 29); do for u in 0 1 3; do\n"
           "  $Q --diff -U $u $k-a $k-b >d; $Q $k-a | tr -d '\\r' >a.txt\n"
           "  patch -o - a.txt d >/dev/null 2>e || echo $k $u: patch failed\n"
           "  grep -Ei 'offset|fuzz' e && echo $k $u: not exact\n"
           "  test \"$(diffstat -t d | tail -1 | cut -d, -f1,2)\" = \\\n"
           "    \"$(grep -c '^+[^+]' d),$(grep -c '^-[^-]' d)\" || echo $k $u: counted\n"
           "done; done; echo checked\n";
    EXPECT_EQ(Run("sh", Quoted(root_ / "pairs.sh")).out, "checked\n");
}
#endif

} // namespace
