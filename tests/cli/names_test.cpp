// File names in what qefdump writes of several files: the `NAME:` prefix quoted as messages
// quote the name, and every --json line valid to a strict parser (python3's json) whatever the
// name, which it gives back whole.
#include "tools/sample_files.h"

#include "tests/cli/cli_testing.h"

namespace {

using Names = CliTest;

#ifndef _WIN32 // names of every byte: Windows takes none of the controls

// Every byte from 0x01 to 0xFF but the slash, in order: stray continuation bytes, lead bytes
// without their continuation, and the controls, in one name of 254 bytes.
std::string EveryByteName() {
    std::string name;
    for (int byte = 1; byte < 256; ++byte)
        if (byte != '/')
            name += char(byte);
    return name;
}

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (unsigned char byte : bytes) {
        const char digits[] = "0123456789abcdef";
        hex += {digits[byte >> 4], digits[byte & 15]};
    }
    return hex;
}

// Each line parsed on its own; the odd name's lines give back its exact bytes in "file_hex" and
// the name with U+FFFD for what is not UTF-8 in "file"; the plain name has no "file_hex".
constexpr const char* StrictReader = R"(
import json, sys
name = bytes.fromhex(sys.argv[1])
lines = 0
for raw in open(sys.argv[2], 'rb'):
    line = json.loads(raw.decode('utf-8'))
    lines += 1
    if line['file'] == 'b.qef':
        assert 'file_hex' not in line, line
    else:
        assert bytes.fromhex(line['file_hex']) == name, line['file_hex']
        assert line['file'] == name.decode('utf-8', 'replace'), line['file']
print(lines)
)";

TEST_F(Names, EveryJsonLineIsValidWhateverTheNameAndGivesItBackWhole) {
    std::string sample = SampleBytes(SAMPLE_MIXED, 5, 2000);
    std::string name = EveryByteName();
    ASSERT_EQ(name.size(), 254u);
    WriteBytes(work_ / name, sample);
    WriteBytes(work_ / "b.qef", sample);
    WriteBytes(root_ / "reader.py", StrictReader);
    for (const char* mode : {"--records --json", "--find Mod --json", "--stats --json"}) {
        SCOPED_TRACE(mode);
        Result run = Run(QEFDUMP_PATH, std::string(mode) + " -o " + Quoted(root_ / "lines") +
                                           " -- \"$(printf '\\001')\"* b.qef");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::string count = ReadText(root_ / "lines");
        Result read = Run("python3", Quoted(root_ / "reader.py") + " " + Hex(name) + " " +
                                         Quoted(root_ / "lines"));
        EXPECT_EQ(read.exitCode, 0) << read.err;
        size_t lines = size_t(std::count(count.begin(), count.end(), '\n'));
        EXPECT_EQ(read.out, std::to_string(lines) + "\n");
        EXPECT_GE(lines, 2u);
    }
}

// The prefix of a name that would steer a terminal or split a line, against the message that
// names the same file when it is refused: the same quoting, in the shell's form.
TEST_F(Names, PrefixQuotesTheNameAsTheMessagesDo) {
    std::string sample = SampleBytes(SAMPLE_MIXED, 5, 400);
    WriteBytes(work_ / "b.qef", sample);
    const std::pair<const char*, const char*> names[] = {
        {"a\033[1m.qef", "'a'$'\\033''[1m.qef'"},
        {"new\nline.qef", "'new'$'\\n''line.qef'"},
        {"a b.qef", "'a b.qef'"},
        {"plain.qef", "plain.qef"},
    };
    for (const auto& [name, quoted] : names) {
        SCOPED_TRACE(quoted);
        Fresh();
        WriteBytes(work_ / "b.qef", sample);
        WriteBytes(work_ / name, sample);
        Result listed = Run(QEFDUMP_PATH, "--records -- [!b]* b.qef");
        ASSERT_EQ(listed.exitCode, 0) << listed.err;
        std::string prefix = std::string(quoted) + ":";
        std::istringstream lines(listed.out);
        int ours = 0;
        for (std::string line; std::getline(lines, line);) {
            ours += line.starts_with(prefix);
            EXPECT_TRUE(line.starts_with(prefix) || line.starts_with("b.qef:")) << line;
        }
        EXPECT_GE(ours, 2);
        WriteBytes(work_ / name, "not a module-info file");
        Result refused = Run(QEFDUMP_PATH, "--records -- [!b]* b.qef");
        EXPECT_TRUE(refused.err.starts_with("qefdump: " + prefix + " ")) << refused.err;
    }
}

#endif

} // namespace
