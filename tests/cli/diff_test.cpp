// qefdump --diff, --extract and --records --json, run for real.
#include "tests/cli/cli_testing.h"

#include "cli/diff.h"
#include "dump/formatter.h"
#include "dump/module_info.h"
#include "tests/support/sample_files.h"

#include <gtest/gtest.h>

#include <charconv>
#include <regex>
#include <vector>

namespace {

const unsigned char LabelTag[4] = {0x10, 0x00, 0x00, 0x31};

// Record k of a test file: sizes of one, two and three dump lines, data told apart by `seed`.
std::string RecordData(size_t k, char seed) {
    const size_t sizes[] = {0, 5, 17, 33, 16, 1, 40, 2};
    return std::string(sizes[k % 8], char(seed + k));
}

using Records = std::vector<std::string>; // the data of the records after the signature record

Records Numbered(size_t count) {
    Records records;
    for (size_t k = 0; k < count; ++k)
        records.push_back(RecordData(k, 'a'));
    return records;
}

Bytes Build(const Records& records) {
    Bytes file = SignatureRecord();
    for (const std::string& data : records)
        AppendRecord(file, LabelTag, uint32_t(data.size()), data);
    return file;
}

// The plain dump of `file`, one entry of LF-ended lines per record (the signature record first).
Records DumpByRecord(const Bytes& file, Numeration mode) {
    std::string text(
        size_t(PlanDump(file.data(), uint32_t(file.size())).lineCount) * DumpLineLength, '\0');
    WriteDumpLines(file.data(), uint32_t(file.size()), mode, text.data(), text.size(), nullptr,
                   nullptr);
    Records records;
    for (uint32_t offset = 0, at = 0, size = 0; offset < file.size();
         offset += RecordHeaderSize + size) {
        size = ReadRecordHeader(file.data() + offset).size;
        records.emplace_back();
        for (uint32_t k = std::max(1u, (size + 15) / 16); k-- > 0; at += DumpLineLength)
            records.back() += text.substr(at, DumpLineLength - 2) + "\n";
    }
    return records;
}

std::string Marked(char marker, const std::string& lines) {
    std::string marked;
    for (size_t at = 0; at < lines.size(); at = lines.find('\n', at) + 1)
        marked += marker + lines.substr(at, lines.find('\n', at) + 1 - at);
    return marked;
}

std::string Range(size_t start, size_t count) {
    return std::to_string(count ? start + 1 : start) + "," + std::to_string(count);
}

enum Edit { INSERT, REMOVE, CHANGE };

class DiffTest : public CliTest {
  protected:
    CommandResult Qefdump(const std::string& arguments) { return Run(QEFDUMP_PATH, arguments); }
    fs::path WriteInput(const std::string& name, const Bytes& bytes) {
        WriteFile(folder_ / name, bytes);
        return folder_ / name;
    }
};

// One edit at record p of A (its records counted from 0, the signature record included),
// with one record of context: the hunk must be made of the records' lines in the plain dumps.
TEST_F(DiffTest, ShowsOneEditBetweenThePlainDumpsOfAAndB) {
    const char* modes[] = {"single", "multi", "offset"};
    for (Edit edit : {INSERT, REMOVE, CHANGE}) {
        for (size_t p : {1, 4, 7}) {
            Records a = Numbered(7), b = a;
            size_t removed = edit == INSERT ? 0 : 1, added = edit == REMOVE ? 0 : 1;
            p -= removed && p == 7 ? 1 : 0; // the last record, or after it for an insertion
            if (removed)
                b.erase(b.begin() + long(p - 1));
            if (added)
                b.insert(b.begin() + long(p - 1), RecordData(p, 'N'));
            for (int mode = 0; mode < 3; ++mode) {
                SCOPED_TRACE(std::to_string(edit) + " at " + std::to_string(p) + " " + modes[mode]);
                fs::path pathA = WriteInput("a.qef", Build(a)),
                         pathB = WriteInput("b.qef", Build(b));
                Records dumpA = DumpByRecord(Build(a), Numeration(mode + 1));
                Records dumpB = DumpByRecord(Build(b), Numeration(mode + 1));
                size_t start = p - 1, endA = std::min(dumpA.size(), p + removed + 1);
                std::string expected = "--- " + pathA.string() + "\n+++ " + pathB.string() +
                                       "\n@@ -" + Range(start, endA - start) + " +" +
                                       Range(start, std::min(dumpB.size(), p + added + 1) - start) +
                                       " @@\n" + Marked(' ', dumpA[start]);
                if (removed)
                    expected += Marked('-', dumpA[p]);
                if (added)
                    expected += Marked('+', dumpB[p]);
                for (size_t k = p + removed; k < endA; ++k)
                    expected += Marked(' ', dumpA[k]);
                CommandResult result = Qefdump(std::string("--diff -n ") + modes[mode] + " " +
                                               Quoted(pathA) + " " + Quoted(pathB));
                EXPECT_EQ(result.exitCode, 1);
                EXPECT_EQ(result.out, expected);
                EXPECT_EQ(result.err, "");
            }
        }
    }
}

std::string HunkHeaders(const std::string& text) {
    std::string headers;
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1)
        if (text.compare(at, 3, "@@ ") == 0)
            headers += text.substr(at, text.find('\n', at) - at) + "|";
    return headers;
}

// Records 2 and 6 of eight changed: three equal records apart.
TEST_F(DiffTest, JoinsChangesWithinTwiceTheContext) {
    Records a = Numbered(7), b = a;
    b[1] += "x";
    b[5] += "y";
    fs::path pathA = WriteInput("a.qef", Build(a)), pathB = WriteInput("b.qef", Build(b));
    const std::pair<const char*, const char*> cases[] = {
        {"-U 0", "@@ -3,1 +3,1 @@|@@ -7,1 +7,1 @@|"},
        {"", "@@ -2,3 +2,3 @@|@@ -6,3 +6,3 @@|"},
        {"--context 2", "@@ -1,8 +1,8 @@|"},
        {"--context=100", "@@ -1,8 +1,8 @@|"},
    };
    for (const auto& [option, headers] : cases) {
        CommandResult result =
            Qefdump(std::string("--diff ") + option + " " + Quoted(pathA) + " " + Quoted(pathB));
        EXPECT_EQ(result.exitCode, 1) << option;
        EXPECT_EQ(HunkHeaders(result.out), headers) << option;
    }
}

TEST_F(DiffTest, SaysNothingForEqualRecordsAndReadsStandardInput) {
    fs::path path = WriteInput("a.qef", Build(Numbered(7)));
    CommandResult result = Qefdump("--diff - " + Quoted(path) + " < " + Quoted(path));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out + result.err, "");
}

// Refusals are the dump's, with diff's exit status; usage errors are told as such.
TEST_F(DiffTest, RefusesWithStatusTwo) {
    fs::path good = WriteInput("good.qef", Build(Numbered(3)));
    Bytes brokenBytes = Build(Numbered(3));
    brokenBytes.pop_back();
    fs::path broken = WriteInput("broken.qef", brokenBytes);
    for (const fs::path& bad : {broken, folder_ / "missing.qef"}) {
        CommandResult dump = Qefdump(Quoted(bad));
        CommandResult diff = Qefdump("--diff " + Quoted(good) + " " + Quoted(bad));
        EXPECT_NE(dump.err, "");
        EXPECT_EQ(diff.err, dump.err);
        EXPECT_EQ(diff.exitCode, 2);
        EXPECT_EQ(diff.out, "");
    }
    const std::pair<std::string, const char*> usage[] = {
        {"--diff " + Quoted(good), "--diff compares two files: A and B"},
        {"--diff - -", "only one of the two files can be standard input"},
        {"--records --json --diff a b", "--records, --diff and --extract exclude each other"},
        {"--json " + Quoted(good), "--json goes only with --records"},
        {"--extract 0 " + Quoted(good), "the record to extract must be a number from 1, not '0'"},
        {"--extract 5 " + Quoted(good), nullptr}, // told after reading: "the file has 4 records"
    };
    for (const auto& [arguments, message] : usage) {
        CommandResult result = Qefdump(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments;
        EXPECT_EQ(result.out, "");
        if (message)
            EXPECT_EQ(result.err, std::string("qefdump: ") + message + "\nTry 'qefdump --help'.\n");
        else
            EXPECT_EQ(result.err, "qefdump: " + good.string() +
                                      ": there is no record 5: the file has 4 records\n");
    }
}

uint32_t Number(const std::string& digits, int base = 10) {
    uint32_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    return value;
}

// The JSON list and the extracted data of every record rebuild the file byte for byte.
TEST_F(DiffTest, RebuildsAFileFromItsJsonListAndExtractedRecords) {
    Bytes original = GenerateSample(SAMPLE_MIXED, 7, 1500);
    fs::path path = WriteInput("sample.qef", original);
    CommandResult list = Qefdump("--records --json " + Quoted(path));
    ASSERT_EQ(list.exitCode, 0) << list.err;
    const std::regex line(R"re(\{"record": (\d+), "offset": (\d+), "tag": "([0-9A-F]{8})", )re"
                          R"re("name": "([^" ]+)", "size": (\d+)\}\n)re");
    Bytes rebuilt;
    uint32_t number = 0;
    for (std::sregex_iterator match(list.out.begin(), list.out.end(), line), end; match != end;
         ++match) {
        const std::smatch& fields = *match;
        EXPECT_EQ(Number(fields[1]), ++number);
        EXPECT_EQ(Number(fields[2]), rebuilt.size());
        for (int shift = 24; shift >= 0; shift -= 8) // the tag bytes in file order
            rebuilt.push_back((unsigned char)(Number(fields[3], 16) >> shift));
        std::string name(LookupTagName(ReadUint32Le(rebuilt.data() + rebuilt.size() - 4)));
        EXPECT_EQ(fields[4].str(), name.substr(0, name.find(' ')));
        uint32_t size = Number(fields[5]);
        for (int shift = 0; shift < 32; shift += 8)
            rebuilt.push_back((unsigned char)(size >> shift));
        fs::path data = folder_ / "data.bin";
        CommandResult extract = Qefdump("--extract " + std::to_string(number) + " " + Quoted(path) +
                                        " -o " + Quoted(data));
        ASSERT_EQ(extract.exitCode, 0) << extract.err;
        std::string bytes = ReadFileText(data);
        EXPECT_EQ(bytes.size(), size);
        rebuilt.insert(rebuilt.end(), bytes.begin(), bytes.end());
    }
    EXPECT_GT(number, 3u);
    EXPECT_TRUE(rebuilt == original);
}

class TextSink final : public DumpLineSink {
  public:
    bool WriteLines(const char* lines, size_t bytes) override {
        text.append(lines, bytes);
        return true;
    }
    std::string text;
};

// Random pairs of short files over three empty records, MI_VERSION, MI_END and NM_LABEL:
// the script must turn A into B and be as short as the longest common subsequence allows.
TEST(DiffSearch, FindsAShortestScript) {
    uint64_t state = 1;
    auto next = [&state](uint32_t bound) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(state >> 33) % bound;
    };
    for (int round = 0; round < 300; ++round) {
        std::string a(next(30), ' '), b(next(30), ' ');
        Bytes files[2] = {SignatureRecord(), SignatureRecord()};
        for (int f = 0; f < 2; ++f) {
            for (char& name : f ? b : a) {
                const unsigned char tags[3][4] = {
                    {10, 'V', 'e', 'r'}, {10, 'E', 'n', 'd'}, {1, 0, 0, '1'}};
                name = "VEL"[next(3)];
                AppendRecord(files[f], tags[name == 'V' ? 0 : name == 'E' ? 1 : 2], 0, "");
            }
        }
        TextSink sink;
        WriteRecordDiff({"a", files[0].data(), uint32_t(files[0].size())},
                        {"b", files[1].data(), uint32_t(files[1].size())}, NUMERATION_MULTI, 100,
                        sink);
        std::vector<std::vector<size_t>> lcs(a.size() + 1, std::vector<size_t>(b.size() + 1, 0));
        for (size_t i = a.size(); i-- > 0;)
            for (size_t j = b.size(); j-- > 0;)
                lcs[i][j] =
                    a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
        std::string fromA = sink.text.empty() ? a : "", fromB = sink.text.empty() ? b : "";
        size_t edits = 0;
        // Past the lines of the signature record, each line a marker and a record's dump line.
        for (size_t at = sink.text.find('\n', sink.text.find("\n@@") + 1) + 1;
             at > 0 && at < sink.text.size(); at = sink.text.find('\n', at) + 1) {
            char marker = sink.text[at], name = sink.text[at + 1 + TagNameColumn + 3];
            edits += name != 'S' && marker != ' ';
            if (name != 'S' && marker != '+')
                fromA += name;
            if (name != 'S' && marker != '-')
                fromB += name;
        }
        EXPECT_EQ(fromA, a);
        EXPECT_EQ(fromB, b);
        EXPECT_EQ(edits, a.size() + b.size() - 2 * lcs[0][0]) << a << " " << b;
    }
}

} // namespace
