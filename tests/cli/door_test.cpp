// The one door, proven over every mode the program lists: an OUT that is one of the inputs,
// however reached, is refused with every file as it was; an OUT that is none of them gets what
// the same run writes to a fresh file. Every mode of TaskList() (and options that shape one) x
// one, two or three inputs, OUT first, in the middle or last x standard input among them or not
// x every way to reach OUT, through the shell (cmd on Windows).
#include "cli/door.h"
#include "tools/sample_files.h"

#include "tests/cli/cli_testing.h"

#include <iterator>
#include <map>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

constexpr bool Windows = fs::path::preferred_separator == '\\';

// How a run reaches OUT: @ stands for OUT's name, # for its links' number. The ways of the
// shell come last, `>` the very last, as the shell empties OUT before the program runs.
const std::string Ways[] = {"-o @",     "-o ./@", "-o sub/../@", "-o hard#", "-o sym#",
                            "-o sym2#", ">>@",    "1<>@",        ">@"};
constexpr size_t ReadWrite = 7, Truncate = 8; // cmd has no 1<>

// Values for the options that take one. The text found is not ASCII: the last record of every
// input holds it. -i folds ASCII letters, so that éCOLE finds école.
const std::map<std::string, std::string> ModeValues = {{"--extract", "2"},
                                                       {"--find", "\xC5\x81\xC3\xB3"
                                                                  "d\xC5\xBA"}};
constexpr const char* UnicodeRecord = "\xC5\x81\xC3\xB3"
                                      "d\xC5\xBA and \xC3\xA9"
                                      "cole";
const char* const ShapedModes[] = {"--lf", "--find-hex 4D6F64", "--records --record 1-3",
                                   "--stats --tag 4D6F6400",
                                   "--find \303\251COLE -i"}; // éCOLE, in octal to end the escape

// A name of UTF-8 bytes as the system's path: on Windows, UTF-16, whatever the code page.
fs::path Path(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

struct Mode {
    std::string arguments; // before the files
    int files;             // at most this many; --diff exactly two
    bool shaped = false;   // one of ShapedModes
};

void PrintTo(const Mode& mode, std::ostream* stream) {
    *stream << "'" << mode.arguments << "'";
}

// The task the options choose with `files` files, as the parser takes them; -1 for none.
int ParsedTask(const std::string& arguments, int files) {
    std::istringstream words("qefdump " + arguments);
    std::vector<std::string> argument(std::istream_iterator<std::string>(words), {});
    argument.resize(argument.size() + size_t(files), "in.qef");
    DumpOptions options;
    return Parse(argument, options) == PARSE_RUN ? options.task : -1;
}

// Every task of the program's own list, named by its options ("the dump" by none), and the
// shaped ones. A task added to the list is run here, or fails here if it cannot be.
std::vector<Mode> AllModes() {
    std::vector<Mode> modes;
    for (const TaskRule& rule : TaskList()) {
        std::istringstream words(rule.name);
        std::string arguments;
        for (std::string word; words >> word;)
            if (word.starts_with("--"))
                arguments += (arguments.empty() ? "" : " ") + word +
                             (ModeValues.count(word) ? " " + ModeValues.at(word) : "");
        modes.push_back({arguments, rule.files == AnyNumber ? 3 : rule.files});
        EXPECT_EQ(ParsedTask(arguments, modes.back().files), rule.task) << rule.name;
    }
    for (const char* shaped : ShapedModes) {
        int task = ParsedTask(shaped, 1);
        EXPECT_NE(task, -1) << shaped;
        modes.push_back(
            {shaped, task < 0 || TaskList()[size_t(task)].files != AnyNumber ? 1 : 3, true});
    }
    return modes;
}

// The inputs, which of them OUT is, and which is standard input (-1: none).
struct Layout {
    int files, out, piped;
};

std::vector<Layout> Layouts(const Mode& mode) {
    std::vector<Layout> layouts;
    for (int files = mode.files == 2 ? 2 : 1; files <= mode.files; ++files)
        for (int out = 0; out < files; ++out) {
            // OUT first among two is OUT first among three; under Wine, where a run costs 60 ms
            // at best, three stand for two.
            if (files == 2 && mode.files == 3 && (out == 0 || Windows))
                continue;
            for (int piped : {-1, out, out == 0 ? 1 : 0})
                if (piped < files)
                    layouts.push_back({files, out, piped});
        }
    return layouts;
}

class Door : public CliTest, public ::testing::WithParamInterface<Mode> {
  protected:
    // The inputs, with modes of their own, and the links to the input `target`; for each way
    // an unrelated OUT, `otherN.txt`, with its links. False when no symbolic link can be made.
    bool Lay(const std::string& target) {
        Fresh();
        fs::create_directory(work_ / "sub");
        fs::create_directory(work_ / "r");
        for (int k = 0; k < 3; ++k) {
            std::string file = SampleBytes(SAMPLE_MIXED, 11 + k, 900 - 200 * k);
            AppendRecord(file, 0x31000010, UnicodeRecord); // NM_LABEL
            WriteBytes(work_ / Path(Input(k)), file);
            fs::permissions(work_ / Path(Input(k)), fs::perms(0600 | 040 >> k));
        }
        for (size_t w = 0; w < std::size(Ways); ++w) {
            WriteBytes(work_ / Other(w), "old bytes\n");
            fs::permissions(work_ / Other(w), fs::perms(0620));
            Links(Other(w), Number(w));
        }
        return Links(target, "");
    }

    bool Links(const std::string& target, const std::string& number) {
        fs::create_hard_link(work_ / Path(target), work_ / ("hard" + number));
        std::error_code error;
        fs::create_symlink(Path(target), work_ / ("sym" + number), error);
        fs::create_symlink("sym" + number, work_ / ("sym2" + number), error);
        return !error;
    }

    // The second input's name is not ASCII: Łódź.qef.
    static std::string Input(int k) {
        return k == 1 ? "\xC5\x81\xC3\xB3"
                        "d\xC5\xBA.qef"
                      : "in" + std::to_string(k + 1) + ".qef";
    }
    static std::string Other(size_t way) { return "other" + std::to_string(way) + ".txt"; }
    static std::string Number(size_t way) { return std::string("_").append(std::to_string(way)); }

    // Every file's bytes and permissions.
    std::map<std::string, std::pair<std::string, fs::perms>> Snapshot() {
        std::map<std::string, std::pair<std::string, fs::perms>> files;
        for (size_t k = 0; k < 3 + std::size(Ways); ++k) {
            std::string name = k < 3 ? Input(int(k)) : Other(k - 3);
            files[name] = {ReadText(work_ / Path(name)),
                           fs::status(work_ / Path(name)).permissions()};
        }
        return files;
    }

    // The run of `layout` with OUT as `way` reaches `target`, whose links are numbered `number`.
    std::string Command(const Layout& layout, std::string way, const std::string& target,
                        const std::string& number) {
        std::string command = GetParam().arguments;
        for (int k = 0; k < layout.files; ++k)
            command.append(" ").append(k == layout.piped ? "-" : Input(k));
        size_t at = way.find_first_of("@#");
        way.replace(at, 1, way[at] == '@' ? target : number);
        return command + " " + way + (layout.piped >= 0 ? " <" + Input(layout.piped) : "");
    }

    // The runs in order through one shell, so that a run costs one process start (60 ms under
    // Wine, where a shell costs as much again): each one's status, standard error and, unless
    // redirected, standard output go to files in r/.
    std::vector<Result> RunBatch(const std::vector<std::string>& commands) {
        fs::path tool(QEFDUMP_PATH);
        std::string line = "cd " + Quoted(work_), r = Windows ? "r\\" : "r/";
        // NOLINTBEGIN(performance-inefficient-string-concatenation): read, not run, often
        for (size_t k = 0; k < commands.size(); ++k) {
            std::string slot = std::to_string(k), status = " (>" + r + "k" + slot + " echo ";
            line += (Windows ? " & %QEFDUMP% " : "; \"$QEFDUMP\" ") + commands[k] + " 2>" + r +
                    "e" + slot;
            if (commands[k].find('>') == std::string::npos)
                line += " >" + r + "o" + slot;
            // cmd expands %errorlevel% as it reads the line; `if errorlevel` asks as it runs,
            // and its `else` would take the rest of the line without the parentheses.
            line += Windows ? " & (if errorlevel 3" + status + "3) else if errorlevel 2" + status +
                                  "2) else if errorlevel 1" + status + "1) else" + status + "0))"
                            : "; echo $? >" + r + "k" + slot;
        }
        // NOLINTEND(performance-inefficient-string-concatenation)
#ifdef _WIN32
        // As UTF-16, so that cmd hands the names on whole.
        _wputenv_s(L"QEFDUMP", Path(Quoted(fs::absolute(tool.make_preferred()))).c_str());
        _wsystem(Path("\"" + line.replace(0, 3, "cd /d ") + "\"").c_str());
#else
        setenv("QEFDUMP", tool.c_str(), 1);
        std::system(("ulimit -f 65536; " + line).c_str()); // NOLINT(cert-env33-c)
#endif
        std::vector<Result> results;
        for (size_t k = 0; k < commands.size(); ++k) {
            std::string slot = std::to_string(k), status = ReadText(work_ / "r" / ("k" + slot));
            results.push_back({status.empty() ? -1 : std::stoi(status),
                               ReadText(work_ / "r" / ("o" + slot)),
                               ReadText(work_ / "r" / ("e" + slot), std::ios::in)});
        }
        return results;
    }
};

// Each layout in one batch: the run to a fresh file (by -o and by >), to an unrelated OUT in
// every way, then to OUT reached from an input in every way. A refused run exits 2, says why,
// writes nothing and leaves every file, bytes and mode, as it was (but for what the shell did
// with `>` before the program ran). An accepted one gives OUT what the fresh file got (after
// its old bytes with `>>`, over them with `1<>`) and touches no input.
TEST_P(Door, OutIsRefusedWhenItIsAnInputAndGetsWhatAFreshFileGetsOtherwise) {
    // Under Wine the options that shape a mode go the way of its task, but for -i's text.
    if (Windows && GetParam().shaped && GetParam().arguments.find("-i") == std::string::npos)
        GTEST_SKIP() << "the same runner as its task's";
    int refused = 0, accepted = 0;
    for (const Layout& layout : Layouts(GetParam())) {
        std::string target = Input(layout.out);
        bool symlinks = Lay(target);
        auto expected = Snapshot();
        std::vector<std::string> commands = {Command(layout, Ways[0], "fresh.out", ""),
                                             Command(layout, Ways[Truncate], "fresh2.out", "")};
        std::vector<size_t> ways;
        for (size_t w = 0; w < std::size(Ways); ++w)
            if (!(Windows && w == ReadWrite) &&
                (symlinks || Ways[w].find("sym") == std::string::npos))
                ways.push_back(w);
        std::vector<size_t> unrelated; // under Wine: by name, a hard link, >>
        for (size_t w : ways)
            if (!Windows || w == 0 || w == 3 || w == 6) {
                unrelated.push_back(w);
                commands.push_back(Command(layout, Ways[w], Other(w), Number(w)));
            }
        size_t firstRefused = commands.size();
        for (size_t w : ways) // cmd cannot redirect to the file it reads (a sharing violation)
            if (!(Windows && Ways[w][0] != '-' && layout.piped == layout.out))
                commands.push_back(Command(layout, Ways[w], target, ""));
        std::vector<Result> results = RunBatch(commands);
        std::string all;
        for (const std::string& command : commands)
            all.append("qefdump ").append(command).append("\n");
        SCOPED_TRACE(all);

        std::string fresh = ReadText(work_ / "fresh.out");
        int code = results[0].exitCode;
        EXPECT_EQ(ReadText(work_ / "fresh2.out"), fresh);
        EXPECT_FALSE(fresh.empty()); // the search finds its text
        EXPECT_EQ(code, GetParam().arguments == "--diff" ? 1 : 0);
        for (size_t k = 2; k < firstRefused; ++k, ++accepted) {
            size_t w = unrelated[k - 2];
            std::string& bytes = expected[Other(w)].first;
            // >> appends; 1<> writes over the start; the others replace.
            if (w == 6)
                bytes += fresh;
            else
                bytes.replace(
                    0, w == ReadWrite ? std::min(bytes.size(), fresh.size()) : bytes.size(), fresh);
            EXPECT_EQ(results[k].exitCode, code) << commands[k] << ": " << results[k].err;
        }
        for (size_t k = firstRefused; k < commands.size(); ++k, ++refused) {
            EXPECT_EQ(results[k].exitCode, 2) << commands[k];
            EXPECT_NE(results[k].err.find("input file is output file"), std::string::npos)
                << commands[k] << ": " << results[k].err;
            EXPECT_EQ(results[k].out, "") << commands[k];
        }
        if (commands.back().find(" >" + target) != std::string::npos)
            expected[target].first.clear();
        for (const auto& [name, now] : Snapshot()) { // which file, and how
            EXPECT_EQ(now.first, expected[name].first) << name;
            EXPECT_EQ(int(now.second), int(expected[name].second)) << name;
        }
        EXPECT_TRUE(!symlinks || fs::is_symlink(work_ / "sym"));
    }
    std::printf("%d refused and %d accepted runs\n", refused, accepted);
}

INSTANTIATE_TEST_SUITE_P(EveryMode, Door, ::testing::ValuesIn(AllModes()));

#ifndef _WIN32
// An input whose identity cannot be read (here its descriptor is gone from under its stream)
// may be OUT for all the door can tell: it refuses, gives no destination and says why.
TEST_F(CliTest, OutIsRefusedWhenAnInputCannotBeToldApartFromIt) {
    WriteBytes(work_ / "in.qef", "in");
    WriteBytes(work_ / "out.txt", "old");
    std::vector<OpenedInput> inputs(1);
    inputs[0].stream = std::fopen((work_ / "in.qef").c_str(), "rb");
    ASSERT_TRUE(inputs[0].stream && close(fileno(inputs[0].stream)) == 0);
    std::string told, out = (work_ / "out.txt").string();
    std::optional<Destination> destination;
    keptMessages = &told;
    int status = ClearOutput(out.c_str(), inputs, destination);
    keptMessages = nullptr;
    EXPECT_TRUE(status == EXIT_USAGE && !destination && ReadText(work_ / "out.txt") == "old");
    EXPECT_EQ(told, "qefdump: " + MessageName(out) +
                        ": cannot tell whether input file is output file; nothing is written\n");
}
#endif

} // namespace
