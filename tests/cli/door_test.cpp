// The one door, proven over every mode the program lists: an OUT that is one of the inputs,
// however the run reaches it, is refused with every file as it was; an OUT that is none of them
// gets what the same run writes to a fresh file. Cases are generated, not picked: every mode of
// TaskList() (and a few options that shape one) x one, two or three inputs with OUT first, in
// the middle or last x standard input among them or not x every way to name OUT.
#include "cli/options.h"
#include "tools/sample_files.h"

#include "tests/cli/cli_testing.h"

#include <map>
#include <optional>
#include <vector>

namespace {

#ifdef _WIN32
constexpr bool Windows = true;
#else
constexpr bool Windows = false;
#endif

// How a run reaches its OUT: `-o` and a spelling of the file, or a redirection of the shell.
// The links are made for each OUT, named after the link and its OUT's number.
struct Way {
    const char* name;
    const char* output;   // -o's argument before the file's name, or the link's; null when
                          // standard output is redirected
    const char* redirect; // the shell's operator for standard output
    bool posixOnly;       // cmd has no `1<>`
};

constexpr Way Ways[] = {
    {"name", "", nullptr, false},          {"dot", "./", nullptr, false},
    {"dotdot", "sub/../", nullptr, false}, {"hardlink", "hard", nullptr, false},
    {"symlink", "sym", nullptr, false},    {"linktolink", "sym2", nullptr, false},
    {"append", nullptr, ">>", false},      {"readwrite", nullptr, "1<>", true},
    {"stdout", nullptr, ">", false}, // last: the shell empties OUT before the program runs
};

bool IsLink(const Way& way) {
    return way.output && std::string_view(way.output).starts_with("sym");
}

// The value each value-taking mode option gets, so that the run has something to write: the
// text to find is not ASCII, as the last record of every input holds it.
const std::map<std::string, std::string> ModeValues = {{"--extract", "2"},
                                                       {"--find", "\xC5\x81\xC3\xB3"
                                                                  "d\xC5\xBA"}};
constexpr const char* UnicodeRecord = "\xC5\x81\xC3\xB3"
                                      "d\xC5\xBA and \xC3\xA9"
                                      "cole";

// Options that shape a mode: each joins the matrix as a mode of its own. -i folds ASCII
// letters: éCOLE finds école.
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

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

// The options as the parser takes them, with one file: PARSE_RUN and the task they choose.
std::optional<Task> ParsedTask(const std::string& arguments, int files) {
    std::vector<std::string> words = Words(arguments);
    words.insert(words.begin(), "qefdump");
    for (int k = 0; k < files; ++k)
        words.push_back("in.qef");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    DumpOptions options;
    if (ParseDumpOptions(int(argv.size()), argv.data(), options) != PARSE_RUN)
        return std::nullopt;
    return options.task;
}

// Every task of the program's own list, named by its options, and the shaped ones.
std::vector<Mode> AllModes() {
    std::vector<Mode> modes;
    for (const TaskRule& rule : TaskList()) {
        std::string arguments;
        for (const std::string& word : Words(rule.name)) {
            if (!word.starts_with("--"))
                continue; // "the dump"
            arguments.append(arguments.empty() ? "" : " ").append(word);
            if (auto value = ModeValues.find(word); value != ModeValues.end())
                arguments.append(" ").append(value->second);
        }
        int files = rule.files == AnyNumber ? 3 : rule.files;
        // A mode added to the list must be reachable as the list names it.
        EXPECT_EQ(ParsedTask(arguments, files), rule.task) << "mode '" << rule.name << "'";
        modes.push_back({arguments, files});
    }
    for (const char* shaped : ShapedModes) {
        std::optional<Task> task = ParsedTask(shaped, 1);
        EXPECT_TRUE(task) << shaped;
        modes.push_back({shaped, task ? TaskList()[*task].files : 1});
    }
    for (Mode& mode : modes)
        mode.files = mode.files == AnyNumber ? 3 : mode.files;
    return modes;
}

// What a file was: its bytes and permissions, or nothing.
struct FileState {
    bool exists = false;
    std::string bytes;
    fs::perms perms{};
    bool operator==(const FileState&) const = default;
};

// One run's layout: the inputs, which of them OUT is, which is standard input.
struct Layout {
    int files;
    int out;   // the input OUT reaches in a refused run
    int piped; // the input given as `-` and redirected in; -1 for none
};

std::vector<Layout> Layouts(const Mode& mode) {
    std::vector<Layout> layouts;
    int least = mode.files == 2 ? 2 : 1;
    for (int files = least; files <= mode.files; ++files) {
        for (int out = 0; out < files; ++out) {
            // Among two, OUT first is OUT first among three: OUT last stands for both.
            if (files == 2 && mode.files == 3 && out == 0)
                continue;
            layouts.push_back({files, out, -1});
            layouts.push_back({files, out, out});
            if (files > 1)
                layouts.push_back({files, out, out == 0 ? 1 : 0});
        }
    }
    return layouts;
}

// A run of the batch: its command after the program's name, and what it gave.
struct BatchRun {
    std::string command;
    Result result{};
};

class Door : public CliTest, public ::testing::WithParamInterface<Mode> {
  protected:
    // The inputs with modes of their own; for each way an unrelated OUT, `otherN.txt`, and its
    // links; and the links to the input `target`.
    void Lay(const std::string& target) {
        Fresh();
        fs::create_directory(work_ / "sub");
        const fs::perms modes[] = {fs::perms(0640), fs::perms(0604), fs::perms(0600)};
        for (int k = 0; k < 3; ++k) {
            WriteBytes(work_ / Path(Input(k)), samples_[k]);
            fs::permissions(work_ / Path(Input(k)), modes[k]);
        }
        symlinks_ = Links(target, "");
        for (size_t w = 0; w < std::size(Ways); ++w) {
            WriteBytes(work_ / Other(w), "old bytes\n");
            fs::permissions(work_ / Other(w), fs::perms(0620));
            Links(Other(w), std::to_string(w));
        }
    }

    // Whether the system made the links (Windows may refuse symbolic ones).
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
        std::vector<std::string> names = {Input(0), Input(1), Input(2)};
        for (size_t w = 0; w < std::size(Ways); ++w)
            names.push_back(Other(w));
        for (const std::string& name : names) {
            FileState& state = files[name];
            fs::path path = work_ / Path(name);
            state.exists = fs::exists(path);
            if (state.exists) {
                state.bytes = ReadText(path);
                state.perms = fs::status(path).permissions();
            }
        }
        return files;
    }

    // The command for `layout`, OUT as `way` reaches `target` (whose links end in `suffix`).
    std::string Command(const Layout& layout, const Way& way, const std::string& target,
                        const std::string& suffix) {
        std::string command = GetParam().arguments;
        for (int k = 0; k < layout.files; ++k)
            command.append(" ").append(k == layout.piped ? std::string("-") : Input(k));
        if (!way.output)
            command.append(" ").append(way.redirect).append(target);
        else if (std::string_view(way.output).starts_with("hard") || IsLink(way))
            command.append(" -o ").append(way.output).append(suffix);
        else
            command.append(" -o ").append(way.output).append(target);
        if (layout.piped >= 0)
            command.append(" <").append(Input(layout.piped));
        return command;
    }

    // One shell for all the runs, in order, so that a case costs one process start: each
    // run's status, standard error and (unless redirected) standard output go to files.
    void RunBatch(std::vector<BatchRun>& runs) {
        std::string line = "cd " + Quoted(work_);
        for (size_t k = 0; k < runs.size(); ++k) {
            std::string slot = std::to_string(k);
            std::string status = Quoted(root_ / ("k" + slot));
            bool redirected = runs[k].command.find(" >") != std::string::npos ||
                              runs[k].command.find("1<>") != std::string::npos;
            line += (Windows ? " & " : "; ") + QuotedTool() + " " + runs[k].command + " 2>" +
                    Quoted(root_ / ("e" + slot)) +
                    (redirected ? "" : " >" + Quoted(root_ / ("o" + slot)));
            // cmd expands %errorlevel% as it reads the line; `if errorlevel` asks as it runs.
            line += Windows
                        ? " & if errorlevel 3 (>" + status + " echo 3) else if errorlevel 2 (>" +
                              status + " echo 2) else if errorlevel 1 (>" + status +
                              " echo 1) else (>" + status + " echo 0)"
                        : "; echo $? >" + status;
        }
#ifdef _WIN32
        // As UTF-16, so that cmd hands the names on whole.
        std::wstring wide = Path("\"" + line.replace(0, 3, "cd /d ") + "\"").native();
        _wsystem(wide.c_str()); // NOLINT(cert-env33-c)
#else
        std::system(("ulimit -f 65536; " + line).c_str()); // NOLINT(cert-env33-c)
#endif
        for (size_t k = 0; k < runs.size(); ++k) {
            std::string slot = std::to_string(k);
            std::string status = ReadText(root_ / ("k" + slot));
            runs[k].result = {status.empty() ? -1 : std::stoi(status),
                              ReadText(root_ / ("o" + slot)),
                              ReadText(root_ / ("e" + slot), std::ios::in)};
        }
    }

    static std::string QuotedTool() {
        fs::path path(QEFDUMP_PATH);
#ifdef _WIN32
        path = fs::absolute(path.make_preferred());
#endif
        return Quoted(path);
    }

    static std::string Sample(uint32_t seed, uint32_t size) {
        std::string file = SampleBytes(SAMPLE_MIXED, seed, size);
        AppendRecord(file, 0x31000010, UnicodeRecord); // NM_LABEL
        return file;
    }

    std::vector<std::string> samples_ = {Sample(11, 900), Sample(12, 700), Sample(13, 500)};
    bool symlinks_ = false;
};

// Every layout in one batch: the same run to a fresh file (by -o and by >), then to each
// unrelated OUT, then to OUT reached from an input in every way. A refused run exits 2, says
// why, writes nothing and leaves every file, bytes and mode, as it was (but for what the shell
// itself did with `>` before the program ran). An accepted one writes to OUT what the fresh
// file got (after its old bytes with `>>`, over them with `1<>`) and touches no input.
TEST_P(Door, OutIsRefusedWhenItIsAnInputAndGetsWhatAFreshFileGetsOtherwise) {
    int refused = 0, accepted = 0;
    for (const Layout& layout : Layouts(GetParam())) {
        std::string target = Input(layout.out);
        Lay(target);
        auto before = Snapshot();
        std::vector<BatchRun> runs = {
            {Command(layout, Ways[0], "fresh.out", "")},
            {Command(layout, Ways[std::size(Ways) - 1], "fresh2.out", "")}};
        std::vector<const Way*> ways;
        for (const Way& way : Ways)
            if (!(Windows && way.posixOnly) && (symlinks_ || !IsLink(way)))
                ways.push_back(&way);
        for (const Way* way : ways)
            runs.push_back(
                {Command(layout, *way, Other(size_t(way - Ways)), std::to_string(way - Ways))});
        size_t firstRefused = runs.size();
        for (const Way* way : ways) {
            // cmd itself cannot redirect to the file it reads from (a sharing violation): the
            // program never runs.
            if (!(Windows && way->redirect && layout.piped == layout.out))
                runs.push_back({Command(layout, *way, target, "")});
        }
        RunBatch(runs);

        FileState fresh{fs::exists(work_ / "fresh.out"), ReadText(work_ / "fresh.out"), {}};
        EXPECT_EQ(ReadText(work_ / "fresh2.out"), fresh.bytes) << runs[1].command;
        int code = runs[0].result.exitCode;
        // Every mode writes something of these inputs; the search finds its text.
        EXPECT_FALSE(fresh.bytes.empty()) << runs[0].command;
        EXPECT_EQ(code, GetParam().arguments == "--diff" ? 1 : 0) << runs[0].command;
        auto expected = before;
        for (size_t k = 2; k < firstRefused; ++k, ++accepted) {
            const Way& way = *ways[k - 2];
            std::string& bytes = expected[Other(size_t(&way - Ways))].bytes;
            std::string old = bytes;
            std::string name = way.name;
            bytes = name == "append" ? old + fresh.bytes
                    : name == "readwrite"
                        ? fresh.bytes + old.substr(std::min(old.size(), fresh.bytes.size()))
                        : fresh.bytes;
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
        auto after = Snapshot();
        for (const auto& [name, state] : expected)
            EXPECT_TRUE(after[name] == state) << name << " after the batch:\n"
                                              << [&] {
                                                     std::string all;
                                                     for (const BatchRun& run : runs)
                                                         all += "qefdump " + run.command + "\n";
                                                     return all;
                                                 }();
        EXPECT_TRUE(!symlinks_ || fs::is_symlink(work_ / "sym"));
    }
    RecordProperty("refused", refused);
    RecordProperty("accepted", accepted);
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
