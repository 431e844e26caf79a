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
struct Way {
    const char* name;
    const char* output;   // -o's argument, `@` standing for the file's name; null when redirected
    const char* redirect; // the shell's operator for standard output
    bool posixOnly;       // cmd has no `1<>`
};

constexpr Way Ways[] = {
    {"name", "@", nullptr, false},          {"dot", "./@", nullptr, false},
    {"dotdot", "sub/../@", nullptr, false}, {"hardlink", "hard", nullptr, false},
    {"symlink", "sym", nullptr, false},     {"linktolink", "sym2", nullptr, false},
    {"stdout", nullptr, ">", false},        {"append", nullptr, ">>", false},
    {"readwrite", nullptr, "1<>", true},
};

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
        // Among two, OUT first is OUT first among three: OUT last stands for both. Under Wine,
        // where a run costs two process starts of 60 ms, three stand for two, and standard input
        // is OUT or nothing.
        if (files == 2 && mode.files == 3 && Windows)
            continue;
        for (int out = 0; out < files; ++out) {
            if (files == 2 && mode.files == 3 && out == 0)
                continue;
            layouts.push_back({files, out, -1});
            layouts.push_back({files, out, out});
            if (files > 1 && !Windows)
                layouts.push_back({files, out, out == 0 ? 1 : 0});
        }
    }
    return layouts;
}

class Door : public CliTest, public ::testing::WithParamInterface<Mode> {
  protected:
    // The inputs, an unrelated OUT and the links to `target`, with modes of their own.
    void Lay(const std::string& target) {
        Fresh();
        fs::create_directory(work_ / "sub");
        const fs::perms modes[] = {fs::perms(0640), fs::perms(0604), fs::perms(0600)};
        for (int k = 0; k < 3; ++k) {
            WriteBytes(work_ / Path(Input(k)), samples_[k]);
            fs::permissions(work_ / Path(Input(k)), modes[k]);
        }
        WriteBytes(work_ / "other.txt", "old bytes\n");
        fs::permissions(work_ / "other.txt", fs::perms(0620));
        fs::create_hard_link(work_ / Path(target), work_ / "hard");
        std::error_code error;
        fs::create_symlink(Path(target), work_ / "sym", error);
        fs::create_symlink("sym", work_ / "sym2", error);
        symlinks_ = !error;
    }

    // The second input's name is not ASCII: Łódź.qef.
    static std::string Input(int k) {
        return k == 1 ? "\xC5\x81\xC3\xB3"
                        "d\xC5\xBA.qef"
                      : "in" + std::to_string(k + 1) + ".qef";
    }

    std::map<std::string, FileState> Snapshot() {
        std::map<std::string, FileState> files;
        for (const std::string& name : {Input(0), Input(1), Input(2), std::string("other.txt")}) {
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

    // The command for `layout`, OUT as `way` reaches `target`; standard output to "out"
    // beside the folder unless the way redirects it.
    std::string Command(const Layout& layout, const Way& way, const std::string& target) {
        std::string command = GetParam().arguments;
        for (int k = 0; k < layout.files; ++k)
            command.append(" ").append(k == layout.piped ? std::string("-") : Input(k));
        if (way.output) {
            std::string output = way.output;
            if (size_t at = output.find('@'); at != std::string::npos)
                output.replace(at, 1, target);
            command += " -o " + output + " >" + Quoted(root_ / "out");
        } else {
            command += std::string(" ") + way.redirect + target;
        }
        if (layout.piped >= 0)
            command += " <" + Input(layout.piped);
        return command;
    }

    Result RunLine(const std::string& command) {
        fs::remove(root_ / "out", ignored_);
        std::string full = QuotedTool() + " " + command + " 2>" + Quoted(root_ / "err");
        int code = -1;
#ifdef _WIN32
        // As UTF-16, so that cmd hands the names on whole.
        std::wstring line = Path("\"cd /d " + Quoted(work_) + " && " + full + "\"").native();
        for (int attempt = 0; attempt < 3 && (attempt == 0 || code == 9009); ++attempt)
            code = _wsystem(line.c_str()); // NOLINT(cert-env33-c)
#else
        full = "cd " + Quoted(work_) + " && ulimit -f 65536; " + full;
        code = std::system(full.c_str()); // NOLINT(cert-env33-c)
        code = code != -1 && WIFEXITED(code) ? WEXITSTATUS(code) : -1;
#endif
        return {code, ReadText(root_ / "out"), ReadText(root_ / "err", std::ios::in)};
    }

    static std::string QuotedTool() {
        fs::path path(QEFDUMP_PATH);
#ifdef _WIN32
        path = fs::absolute(path.make_preferred());
#endif
        return Quoted(path);
    }

    // What the same run writes to a fresh file, and its status; kept for the other ways.
    std::pair<int, FileState> FreshRun(const Layout& layout, bool redirected) {
        std::string key = std::to_string(layout.files) + "/" + std::to_string(layout.out) + "/" +
                          std::to_string(layout.piped) + "/" + std::to_string(redirected);
        if (auto found = fresh_.find(key); found != fresh_.end())
            return found->second;
        Lay("other.txt");
        Way way = redirected ? Way{"", nullptr, ">", false} : Way{"", "@", nullptr, false};
        int code = RunLine(Command(layout, way, "fresh.out")).exitCode;
        FileState state{fs::exists(work_ / "fresh.out"), ReadText(work_ / "fresh.out"), {}};
        return fresh_[key] = {code, state};
    }

    static std::string Sample(uint32_t seed, uint32_t size) {
        std::string file = SampleBytes(SAMPLE_MIXED, seed, size);
        AppendRecord(file, 0x31000010, UnicodeRecord); // NM_LABEL
        return file;
    }

    std::vector<std::string> samples_ = {Sample(11, 900), Sample(12, 700), Sample(13, 500)};
    std::map<std::string, std::pair<int, FileState>> fresh_;
    bool symlinks_ = false;
};

// A refused run: exit 2, the reason said, nothing written and every file as it was (but for
// what the shell itself did to OUT with `>`, before the program ran).
TEST_P(Door, OutThatIsAnInputIsRefusedAndEveryFileStaysAsItWas) {
    int cases = 0;
    for (const Layout& layout : Layouts(GetParam())) {
        for (const Way& way : Ways) {
            if (Windows && way.posixOnly)
                continue;
            std::string target = Input(layout.out);
            Lay(target);
            if (!symlinks_ && std::string(way.name).find("link") != std::string::npos &&
                std::string(way.name) != "hardlink")
                continue;
            auto before = Snapshot();
            if (way.redirect && std::string(way.redirect) == ">")
                before[target].bytes.clear();
            std::string command = Command(layout, way, target);
            Result result = RunLine(command);
            SCOPED_TRACE("qefdump " + command);
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_NE(result.err.find("input file is output file"), std::string::npos)
                << result.err;
            EXPECT_EQ(result.out, "");
            EXPECT_TRUE(Snapshot() == before);
            ++cases;
        }
    }
    RecordProperty("cases", cases);
}

// An accepted run: OUT, an unrelated file reached the same ways, holds what a fresh file gets
// (after its old bytes with `>>`, over them with `1<>`), and the inputs are untouched.
TEST_P(Door, OutThatIsNoInputGetsWhatAFreshFileGets) {
    for (const Layout& layout : Layouts(GetParam())) {
        for (const Way& way : Ways) {
            std::string name = way.name;
            // Under Wine, the ways of the shell and one of -o's.
            if (Windows && (way.posixOnly || (way.output && name != "symlink")))
                continue;
            auto [code, fresh] = FreshRun(layout, way.redirect != nullptr);
            // Every mode writes something of these inputs; the search finds its text.
            EXPECT_FALSE(fresh.bytes.empty());
            EXPECT_EQ(code, GetParam().arguments == "--diff" ? 1 : 0);
            Lay("other.txt");
            if (!symlinks_ && name.find("link") != std::string::npos && name != "hardlink")
                continue;
            auto expected = Snapshot();
            std::string old = expected["other.txt"].bytes;
            std::string& bytes = expected["other.txt"].bytes;
            if (fresh.exists)
                bytes = name == "append" ? old + fresh.bytes
                        : name == "readwrite"
                            ? fresh.bytes + old.substr(std::min(old.size(), fresh.bytes.size()))
                            : fresh.bytes;
            std::string command = Command(layout, way, "other.txt");
            Result result = RunLine(command);
            SCOPED_TRACE("qefdump " + command);
            EXPECT_EQ(result.exitCode, code) << result.err;
            EXPECT_TRUE(Snapshot() == expected) << ReadText(work_ / "other.txt");
            if (name == "symlink" || name == "linktolink") {
                EXPECT_TRUE(fs::is_symlink(work_ / "sym"));
            }
        }
    }
}

std::string ModeName(const ::testing::TestParamInfo<Mode>& info) {
    std::string name;
    for (char c : info.param.arguments)
        name += std::isalnum((unsigned char)c) ? c : '_';
    return name.empty() ? "dump" : name;
}

INSTANTIATE_TEST_SUITE_P(EveryMode, Door, ::testing::ValuesIn(AllModes()), ModeName);

} // namespace
