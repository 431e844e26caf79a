// The one door, proven over every mode the program lists: an OUT that is one of the inputs,
// however reached, is refused with every file as it was; an OUT that is none of them gets what
// the same run writes to a fresh file. Every mode of TaskList() (and options that shape one) x
// one, two or three inputs, OUT first, in the middle or last x standard input among them or not
// x every way to reach OUT, through the shell (cmd on Windows).
#include "cli/options.h"
#include "tools/sample_files.h"

#include "tests/cli/cli_testing.h"

#include <iterator>
#include <map>
#include <vector>

namespace {

#ifdef _WIN32
constexpr bool Windows = true;
#else
constexpr bool Windows = false;
#endif

// `-o` and a spelling of OUT (a link's name: its OUT's links end in a number), or the shell's
// redirection of standard output.
struct Way {
    const char* name;
    const char* output;
    const char* redirect;
};

constexpr Way Ways[] = {
    {"name", "", nullptr},         {"dot", "./", nullptr},        {"dotdot", "sub/../", nullptr},
    {"hardlink", "hard", nullptr}, {"symlink", "sym", nullptr},   {"linktolink", "sym2", nullptr},
    {"append", nullptr, ">>"},     {"readwrite", nullptr, "1<>"}, // cmd has no 1<>
    {"stdout", nullptr, ">"}, // last: the shell empties OUT before the program runs
};

bool IsLink(const Way& way) {
    return way.output && std::string_view(way.output).starts_with("sym");
}
bool Named(const Way& way) {
    return way.output && !IsLink(way) && std::string_view(way.output) != "hard";
}

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
                                   "--find \xC3\xA9"
                                   "COLE -i"};

// A name of UTF-8 bytes as the system's path: on Windows, UTF-16, whatever the code page.
fs::path Path(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

struct Mode {
    std::string arguments; // before the files
    int files;             // at most this many; --diff exactly two
};

void PrintTo(const Mode& mode, std::ostream* stream) {
    *stream << "'" << mode.arguments << "'";
}

// The task the options choose with `files` files, as the parser takes them; -1 for none.
int ParsedTask(const std::string& arguments, int files) {
    std::istringstream words("qefdump " + arguments);
    std::vector<std::string> argument(std::istream_iterator<std::string>(words), {});
    argument.resize(argument.size() + size_t(files), "in.qef");
    std::vector<char*> argv;
    for (std::string& word : argument)
        argv.push_back(word.data());
    DumpOptions options;
    return ParseDumpOptions(int(argv.size()), argv.data(), options) == PARSE_RUN ? options.task
                                                                                 : -1;
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
        modes.push_back({shaped, task < 0 || TaskList()[size_t(task)].files != AnyNumber ? 1 : 3});
    }
    return modes;
}

// What a file was: its bytes and permissions.
struct FileState {
    std::string bytes;
    fs::perms perms{};
    bool operator==(const FileState&) const = default;
};

// The inputs, which of them OUT is, and which is standard input (-1: none).
struct Layout {
    int files, out, piped;
};

std::vector<Layout> Layouts(const Mode& mode) {
    std::vector<Layout> layouts;
    for (int files = mode.files == 2 ? 2 : 1; files <= mode.files; ++files)
        for (int out = 0; out < files; ++out) {
            if (files == 2 && mode.files == 3 && out == 0)
                continue; // OUT first among two is OUT first among three
            layouts.push_back({files, out, -1});
            layouts.push_back({files, out, out});
            if (files > 1)
                layouts.push_back({files, out, out == 0 ? 1 : 0});
        }
    return layouts;
}

struct BatchRun {
    std::string command; // after the program's name
    Result result{};
};

class Door : public CliTest, public ::testing::WithParamInterface<Mode> {
  protected:
    // The inputs, with modes of their own, and the links to the input `target`; for each way
    // an unrelated OUT, `otherN.txt`, with its links.
    void Lay(const std::string& target) {
        Fresh();
        fs::create_directory(work_ / "sub");
        fs::create_directory(work_ / "r");
        for (int k = 0; k < 3; ++k) {
            WriteBytes(work_ / Path(Input(k)), Sample(11 + k, 900 - 200 * k));
            fs::permissions(work_ / Path(Input(k)), fs::perms(0600 | 040 >> k));
        }
        symlinks_ = Links(target, "");
        for (size_t w = 0; w < std::size(Ways); ++w) {
            WriteBytes(work_ / Other(w), "old bytes\n");
            fs::permissions(work_ / Other(w), fs::perms(0620));
            Links(Other(w), std::to_string(w));
        }
    }

    // Whether the system made the symbolic links (Wine may not).
    bool Links(const std::string& target, const std::string& suffix) {
        fs::create_hard_link(work_ / Path(target), work_ / ("hard" + suffix));
        std::error_code error;
        fs::create_symlink(Path(target), work_ / ("sym" + suffix), error);
        fs::create_symlink("sym" + suffix, work_ / ("sym2" + suffix), error);
        return !error;
    }

    // The second input's name is not ASCII: Łódź.qef.
    static std::string Input(int k) {
        return k == 1 ? "\xC5\x81\xC3\xB3"
                        "d\xC5\xBA.qef"
                      : "in" + std::to_string(k + 1) + ".qef";
    }
    static std::string Other(size_t way) { return "other" + std::to_string(way) + ".txt"; }

    std::map<std::string, FileState> Snapshot() {
        std::map<std::string, FileState> files;
        for (size_t k = 0; k < 3 + std::size(Ways); ++k) {
            std::string name = k < 3 ? Input(int(k)) : Other(k - 3);
            fs::path path = work_ / Path(name);
            files[name] = {ReadText(path), fs::status(path).permissions()};
        }
        return files;
    }

    // The run of `layout` with OUT as `way` reaches `target`, whose links end in `suffix`.
    std::string Command(const Layout& layout, const Way& way, const std::string& target,
                        const std::string& suffix) {
        std::string command = GetParam().arguments;
        for (int k = 0; k < layout.files; ++k)
            command.append(" ").append(k == layout.piped ? "-" : Input(k));
        command += way.redirect ? std::string(" ") + way.redirect + target
                   : Named(way) ? std::string(" -o ") + way.output + target
                                : std::string(" -o ") + way.output + suffix;
        return command + (layout.piped >= 0 ? " <" + Input(layout.piped) : "");
    }

    // The runs in order through one shell, so that a run costs one process start (60 ms under
    // Wine, where a shell costs as much again): each one's status, standard error and, unless
    // redirected, standard output go to files in r/.
    void RunBatch(std::vector<BatchRun>& runs) {
        fs::path tool(QEFDUMP_PATH);
        std::string slash = Windows ? "\\" : "/";
        std::string line = "cd " + Quoted(work_);
        for (size_t k = 0; k < runs.size(); ++k) {
            std::string slot = std::to_string(k), status = "r" + slash + "k" + slot;
            bool redirected = runs[k].command.find('>') != std::string::npos;
            line += (Windows ? " & %QEFDUMP% " : "; \"$QEFDUMP\" ") + runs[k].command + " 2>r" +
                    slash + "e" + slot + (redirected ? "" : " >r" + slash + "o" + slot);
            // cmd expands %errorlevel% as it reads the line; `if errorlevel` asks as it runs.
            for (int code = 3; Windows && code >= 0; --code)
                line += (code == 3 ? " & if"
                         : code    ? " else if"
                                   : " else") +
                        (code ? " errorlevel " + std::to_string(code) : "") + " (>" + status +
                        " echo " + std::to_string(code) + ")";
            line += Windows ? "" : "; echo $? >" + status;
        }
#ifdef _WIN32
        // As UTF-16, so that cmd hands the names on whole.
        _wputenv_s(L"QEFDUMP", Path(Quoted(fs::absolute(tool.make_preferred()))).c_str());
        std::wstring wide = Path("\"" + line.replace(0, 3, "cd /d ") + "\"").native();
        _wsystem(wide.c_str()); // NOLINT(cert-env33-c)
#else
        setenv("QEFDUMP", tool.c_str(), 1);
        std::system(("ulimit -f 65536; " + line).c_str()); // NOLINT(cert-env33-c)
#endif
        for (size_t k = 0; k < runs.size(); ++k) {
            std::string slot = std::to_string(k), status = ReadText(work_ / "r" / ("k" + slot));
            runs[k].result = {status.empty() ? -1 : std::stoi(status),
                              ReadText(work_ / "r" / ("o" + slot)),
                              ReadText(work_ / "r" / ("e" + slot), std::ios::in)};
        }
    }

    static std::string Sample(uint32_t seed, uint32_t size) {
        std::string file = SampleBytes(SAMPLE_MIXED, seed, size);
        AppendRecord(file, 0x31000010, UnicodeRecord); // NM_LABEL
        return file;
    }

    bool symlinks_ = false;
};

// Each layout in one batch: the run to a fresh file (by -o and by >), to an unrelated OUT in
// every way, then to OUT reached from an input in every way. A refused run exits 2, says why,
// writes nothing and leaves every file, bytes and mode, as it was (but for what the shell did
// with `>` before the program ran). An accepted one gives OUT what the fresh file got (after
// its old bytes with `>>`, over them with `1<>`) and touches no input.
TEST_P(Door, OutIsRefusedWhenItIsAnInputAndGetsWhatAFreshFileGetsOtherwise) {
    int refused = 0, accepted = 0;
    for (const Layout& layout : Layouts(GetParam())) {
        std::string target = Input(layout.out);
        Lay(target);
        auto expected = Snapshot();
        std::vector<BatchRun> runs = {{Command(layout, Ways[0], "fresh.out", "")},
                                      {Command(layout, Ways[8], "fresh2.out", "")}};
        std::vector<size_t> ways;
        for (size_t w = 0; w < std::size(Ways); ++w)
            if (!(Windows && w == 7) && (symlinks_ || !IsLink(Ways[w])))
                ways.push_back(w);
        for (size_t w : ways)
            runs.push_back({Command(layout, Ways[w], Other(w), std::to_string(w))});
        size_t firstRefused = runs.size();
        for (size_t w : ways) // cmd cannot redirect to the file it reads (a sharing violation)
            if (!(Windows && Ways[w].redirect && layout.piped == layout.out))
                runs.push_back({Command(layout, Ways[w], target, "")});
        RunBatch(runs);

        std::string fresh = ReadText(work_ / "fresh.out");
        int code = runs[0].result.exitCode;
        EXPECT_EQ(ReadText(work_ / "fresh2.out"), fresh) << runs[1].command;
        EXPECT_FALSE(fresh.empty()) << runs[0].command; // the search finds its text
        EXPECT_EQ(code, GetParam().arguments == "--diff" ? 1 : 0) << runs[0].command;
        for (size_t k = 2; k < firstRefused; ++k, ++accepted) {
            std::string name = Ways[ways[k - 2]].name;
            std::string& bytes = expected[Other(ways[k - 2])].bytes;
            bytes = name == "append" ? bytes + fresh
                    : name == "readwrite"
                        ? fresh + bytes.substr(std::min(bytes.size(), fresh.size()))
                        : fresh;
            EXPECT_EQ(runs[k].result.exitCode, code) << runs[k].command << runs[k].result.err;
        }
        for (size_t k = firstRefused; k < runs.size(); ++k, ++refused) {
            const Result& result = runs[k].result;
            EXPECT_EQ(result.exitCode, 2) << runs[k].command;
            EXPECT_NE(result.err.find("input file is output file"), std::string::npos)
                << runs[k].command << ": " << result.err;
            EXPECT_EQ(result.out, "") << runs[k].command;
        }
        if (runs.back().command.find(" >" + target) != std::string::npos)
            expected[target].bytes.clear();
        std::string all;
        for (const BatchRun& run : runs)
            all += "qefdump " + run.command + "\n";
        EXPECT_TRUE(Snapshot() == expected) << "after the batch:\n" << all;
        EXPECT_TRUE(!symlinks_ || fs::is_symlink(work_ / "sym"));
    }
    std::printf("%d refused and %d accepted runs\n", refused, accepted);
}

std::string ModeName(const ::testing::TestParamInfo<Mode>& info) {
    std::string name;
    for (char c : info.param.arguments)
        name += std::isalnum((unsigned char)c) ? c : '_';
    return name.empty() ? "dump" : name;
}

INSTANTIATE_TEST_SUITE_P(EveryMode, Door, ::testing::ValuesIn(AllModes()), ModeName);

} // namespace
