// File names in what qefdump writes of several files: the `NAME:` prefix quoted as messages
// quote the name, and every --json line valid to a strict parser (python3's json) whatever the
// name, which it gives back whole. Windows takes no name with a control: POSIX only.
#include "tools/sample_files.h"

#include "tests/cli/cli_testing.h"

namespace {

using Names = CliTest;

#ifndef _WIN32
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
