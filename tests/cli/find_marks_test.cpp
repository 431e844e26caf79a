// What the search writes for a terminal and for scripts: --color's marks, and standard input
// named as grep names it.
#include "cli/hit_marks.h"
#include "dump/line_layout.h"
#include "tools/sample_files.h"

#include "tests/cli/cli_testing.h"

namespace {

using namespace std::string_literals;
using Cli = CliTest;

const std::string Mark = "\033[01;31m", Plain = "\033[m";

// A signature, then MI_VERSION's record of the alphabet, its data from offset 0x25.
std::string Alphabet() {
    std::string file = SignatureFile<std::string>();
    AppendRecord(file, 0x7265560A, "abcdefghijklmnopqrstuvwxyz");
    return file;
}

// The hit's bytes that its dump line shows, and only those, marked in both columns; each half of
// the hexadecimal column apart. The marks come only when asked for or for a terminal.
TEST_F(Cli, ColorMarksTheHitsBytesInItsDumpLine) {
    WriteBytes(work_ / "in.qef", Alphabet());
    const std::string Line =
        "         2  0000002A  MI_VERSION    00000037: MI_VERSION    |00026| "
        "61 62 63 64 65 66 67 68 - 69 6A 6B 6C 6D 6E 6F 70 | abcdefghijklmnop \n";
    const std::string Marked =
        "         2  0000002A  MI_VERSION    00000037: MI_VERSION    |00026| "
        "61 62 63 64 65 " +
        Mark + "66 67 68" + Plain + " - " + Mark + "69 6A 6B 6C 6D 6E 6F 70" + Plain + " | abcde" +
        Mark + "fghijklmnop" + Plain + " \n";
    const std::pair<const char*, std::string> Runs[] = {
        {"--color=always", Marked},      {"--color always -o -", Marked}, {"", Line},
        {"--color=never", Line},         {"--color=auto", Line}, // to a file
        {"--color=auto -o out.txt", ""},
    };
    for (auto& [options, expected] : Runs) {
        Result found = Run(QEFDUMP_PATH, "-n offset --find fghijklmnopqrstu in.qef "s + options);
        EXPECT_TRUE(found.exitCode == 0 && found.out == expected) << options << found.out;
    }
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
    Result refused = Run(QEFDUMP_PATH, "--color=yes --find a in.qef");
    EXPECT_EQ(refused.err, "qefdump: --color must be auto, always or never, not 'yes'\nTry "
                           "'qefdump --help'.\n");
    EXPECT_EQ(Run(QEFDUMP_PATH, "--json --color=always --find a in.qef").exitCode, 2);
    // auto: for a terminal only, and never while NO_COLOR holds something.
    EXPECT_TRUE(MarksHits(COLOR_AUTO, true, nullptr) && MarksHits(COLOR_AUTO, true, "") &&
                MarksHits(COLOR_ALWAYS, false, "1"));
    EXPECT_FALSE(MarksHits(COLOR_AUTO, true, "1") || MarksHits(COLOR_AUTO, false, nullptr) ||
                 MarksHits(COLOR_NEVER, true, nullptr));
}

// The lines of the search, the record list and the statistics call standard input
// "(standard input)", as grep's do; the messages keep "(stdin)".
TEST_F(Cli, StandardInputIsNamedAsGrepNamesIt) {
    WriteBytes(work_ / "in.qef", Alphabet());
    const std::pair<const char*, std::string> Runs[] = {
        {"-c --find abc in.qef -", "in.qef:1\n(standard input):1\n"},
        {"-l --find abc - in.qef", "(standard input)\nin.qef\n"},
        {"-H --records -",
         "(standard input):         1  00000000  4D 6F 64 00  MI_SIGNATURE          21\n"
         "(standard input):         2  0000001D  0A 56 65 72  MI_VERSION            26\n"},
        {"-H --json --stats --tag MI_VERSION -",
         "{\"file\": \"(standard input)\", \"tag\": \"0A566572\", \"name\": \"MI_VERSION\", "
         "\"records\": 1, \"bytes\": 26}\n"},
    };
    for (auto& [options, expected] : Runs)
        EXPECT_EQ(Run(QEFDUMP_PATH, options + " < in.qef"s).out, expected) << options;
    WriteBytes(work_ / "bad.qef", "x");
    EXPECT_EQ(Run(QEFDUMP_PATH, "--records - < bad.qef").err.substr(0, 18), "qefdump: (stdin): ");
}

} // namespace
