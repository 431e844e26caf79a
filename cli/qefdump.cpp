// qefdump: the dump of a module-info file on the command line, byte for byte as the viewer
// shows it; its record list, a record's data, and what changed between two files.
#include "cli/file_pool.h"
#include "cli/file_walk.h"
#include "cli/input.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/printers.h"
#include "cli/query_printers.h"
#include "cli/quote.h"
#include "cli/win32_text.h"
#include "cli/salvage_printers.h"

#include "dump/file_check.h"
#include "dump/viewer_dump.h"
#include "dump/record_text.h"
#include "dump/salvage_text.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

enum ExitStatus { EXIT_DONE = 0, EXIT_REFUSED = 1, EXIT_USAGE = 2, EXIT_IO_ERROR = 3 };

// Messages call standard input "(stdin)" whatever the task; the lines of the record list, the
// search and the statistics name it as grep's do, for the scripts that read them.
constexpr const char* StdinName = "(stdin)";
constexpr const char* ListedStdinName = "(standard input)";
constexpr const char* StdoutName = "(stdout)";
const char* const AllocationFailureText = DumpFailureMessages[DUMP_ALLOCATION_FAILED].text;

// Where a thread's messages go: standard error, or the text kept for a file worked on apart,
// told when its turn comes so that the messages keep the order of the files.
thread_local std::string* keptMessages = nullptr;

void Tell(const std::string& message) {
    if (keptMessages)
        keptMessages->append(message);
    else
        WriteText(stderr, message);
}

// `name` as messages show it: a file's name quoted where it needs quotes, or "(stdin)".
int Complain(int status, const std::string& name, const std::string& message) {
    Tell("qefdump: " + name + ": " + message + "\n");
    return status;
}

// Memory ran out while no file was being read or written: nothing to name but the cause.
int ComplainOfMemory(int status) {
    Tell(std::string("qefdump: ") + AllocationFailureText + "\n");
    return status;
}

void SetBinaryStandardStreams() {
#ifdef _WIN32
    // Text mode would turn every CR LF of the dump into CR CR LF.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

// An input opened and told apart from OUT, not yet read. Its stream stays open until it is
// read, so that the file identified is the file read.
struct OpenedInput {
    const char* name = nullptr;  // the path, or "(stdin)"; a diff's header quotes it
    std::string shown;           // as the messages call it
    std::FILE* stream = nullptr; // null when it could not be opened: `status` says why
    int status = EXIT_DONE;
    OpenedInput() = default;
    OpenedInput(OpenedInput&& other) noexcept
        : name(other.name), shown(std::move(other.shown)), stream(other.stream),
          status(other.status) {
        other.stream = nullptr;
    }
    OpenedInput(const OpenedInput&) = delete;
    OpenedInput& operator=(const OpenedInput&) = delete;
    ~OpenedInput() { Close(); }
    void Close() {
        if (stream && stream != stdin)
            std::fclose(stream);
        stream = nullptr;
    }
};

// An input read whole and checked as the viewer checks it.
struct CheckedInput {
    const char* name = nullptr;
    std::string shown;
    InputBytes input;
    RecordWalk chain{}; // its records and lines, as the check counted them
};

// Every input opened, in order, before anything is read or written; each that cannot be is
// told now and keeps its status for its turn.
void OpenInputs(const DumpOptions& options, std::vector<OpenedInput>& inputs) {
    // Without FILE, standard input; but -r walked the working folder then, maybe to nothing.
    size_t files = options.inputs.empty() && !options.recursive ? 1 : options.inputs.size();
    for (size_t k = 0; k < files; ++k) {
        const char* path = options.Input(k);
        OpenedInput& opened = inputs.emplace_back();
        bool useStdin = IsStandardInput(path);
        opened.name = useStdin ? StdinName : path;
        opened.shown = useStdin ? StdinName : MessageName(path);
        if (!path && IsTerminal(stdin)) {
            std::fputs("qefdump: standard input is a terminal; give a FILE or pipe one in\n",
                       stderr);
            opened.status = EXIT_USAGE;
        } else {
            opened.stream = useStdin ? stdin : OpenInputFile(path);
            if (!opened.stream)
                opened.status = Complain(EXIT_IO_ERROR, opened.shown, std::strerror(errno));
        }
    }
}

// Where the output may go: made only by ClearOutput, and the runners open nothing else.
class Destination {
  public:
    const char* Target() const { return target_; } // null for standard output
    std::string Shown() const { return target_ ? MessageName(target_) : StdoutName; }

  private:
    explicit Destination(const char* target) : target_(target) {}
    friend int ClearOutput(const char*, const std::vector<OpenedInput>&,
                           std::optional<Destination>&);
    const char* target_;
};

// The one door to the output. Every mode comes here with all its inputs open and nothing
// written: OUT (standard output when null) is refused when it is any of them however it is
// reached, or when the system cannot tell, and then nothing at all is written. A new mode opens
// its inputs with OpenInputs and writes only to the Destination this gives.
int ClearOutput(const char* output, const std::vector<OpenedInput>& inputs,
                std::optional<Destination>& destination) {
    for (const OpenedInput& input : inputs) {
        if (!input.stream && input.name == StdinName)
            continue; // a terminal: never a file
        // One that could not be opened is still no OUT: it may be unreadable, yet writable.
        FileMatch match = !input.stream ? (output ? IsSameFile(input.name, output)
                                                  : IsSameFile(stdout, input.name))
                          : output      ? IsSameFile(input.stream, output)
                                        : IsSameFile(input.stream, stdout);
        std::string written = output ? MessageName(output) : input.shown;
        if (match == FILES_SAME)
            return Complain(EXIT_USAGE, written, "input file is output file");
        if (match == FILES_UNKNOWN)
            return Complain(EXIT_USAGE, output ? written : StdoutName,
                            "cannot tell whether input file is output file; nothing is written");
    }
    destination = Destination(output);
    return EXIT_DONE;
}

// The opened input read whole and checked; a refusal is told. The whole chain is checked before
// anything is written, so that a refusal writes nothing. To be salvaged, a file is refused only
// when it is too large.
int LoadInput(OpenedInput& opened, CheckedInput& checked, bool salvage = false) {
    checked.name = opened.name;
    checked.shown = opened.shown;
    if (!opened.stream)
        return opened.status;
    ReadFailure failure;
    ReadOutcome outcome = ReadInput(opened.stream, MaxModuleInfoLength, checked.input, failure);
    opened.Close();
    if (outcome == READ_FAILED)
        return Complain(EXIT_IO_ERROR, checked.shown,
                        failure.error == ENOMEM ? AllocationFailureText
                                                : std::strerror(failure.error));
    const unsigned char* bytes = checked.input.bytes.get();
    uint64_t length = outcome == READ_TOO_LARGE ? failure.fileSize : checked.input.length;
    FileCheck check = outcome == READ_TOO_LARGE ? FileCheck{FILE_TOO_LARGE, {}}
                                                : CheckModuleInfoFile(bytes, length);
    bool salvaged = salvage && check.verdict != FILE_TOO_LARGE;
    if (check.verdict != FILE_ACCEPTED && !salvaged)
        return Complain(EXIT_REFUSED, checked.shown, DescribeRefusal(check, bytes, length));
    checked.chain = check.chain;
    return EXIT_DONE;
}

// Opens OUT, has `print` write everything and puts it in place; an error of either is told.
// `length` is what `print` will write, 0 when it is not known.
template <typename Print>
int WriteOutputWith(const Destination& target, uint64_t length, int failure, Print&& print) {
    std::string name = target.Shown();
    Output output;
    TextOut out(output);
    if (!out.Ready())
        return ComplainOfMemory(failure);
    if (!OpenOutput(target.Target(), length, output))
        return Complain(failure, name, OutputFailureText(output));
    bool printed = print(out);
    if (!printed)
        AbandonOutput(output);
    if (!printed || !FinishOutput(output)) // a reader that went away is no news to tell
        return output.closedPipe ? failure : Complain(failure, name, OutputFailureText(output));
    return EXIT_DONE;
}

// What a task writes, where that is known before writing: an in-place OUT reserves its room.
uint64_t OutputLength(const DumpOptions& options, const CheckedInput& checked,
                      const Record& extracted) {
    switch (options.task) {
    case TASK_DUMP:
        return options.selected ? 0
                                : uint64_t(checked.chain.next.line) *
                                      (DumpLineLength - (options.lineFeeds ? 1 : 0));
    case TASK_RECORDS:
        return options.selected || options.inputs.size() > 1
                   ? 0
                   : uint64_t(checked.chain.next.record) * RecordLineLength;
    case TASK_EXTRACT:
        return extracted.size;
    default:
        return 0;
    }
}

// A range that starts past the last record is a usage error, as a record to extract is.
int CheckSelection(const DumpOptions& options, const CheckedInput& checked) {
    uint32_t count = checked.chain.next.record, latest = options.selection.LatestStart();
    if (latest <= count)
        return EXIT_DONE;
    return Complain(EXIT_USAGE, checked.shown,
                    "there is no record " + std::to_string(latest) + ": the file has " +
                        std::to_string(count) + (count == 1 ? " record" : " records"));
}

int RunOneFile(const DumpOptions& options, std::vector<OpenedInput>& inputs,
               const Destination& destination) {
    CheckedInput checked;
    if (int status = LoadInput(inputs[0], checked))
        return status;
    if (int status = CheckSelection(options, checked))
        return status;
    const unsigned char* data = checked.input.bytes.get();
    uint32_t length = checked.input.length;
    Record record{};
    uint32_t count = 0;
    // A record number past the end is a usage error, told before any output is opened.
    if (options.task == TASK_EXTRACT && !FindRecord(data, length, options.record, record, count))
        return Complain(EXIT_USAGE, checked.shown,
                        "there is no record " + std::to_string(options.record) + ": the file has " +
                            std::to_string(count) + (count == 1 ? " record" : " records"));
    return WriteOutputWith(
        destination, OutputLength(options, checked, record), EXIT_IO_ERROR, [&](TextOut& out) {
            if (options.task == TASK_EXTRACT)
                return PrintRecordData(record, out);
            return PrintSelectedDump(data, length, options.selected ? &options.selection : nullptr,
                                     options.numeration, options.lineFeeds, out);
        });
}

// Both files are read and checked as for a dump; any trouble is diff's exit status 2.
int RunDiff(const DumpOptions& options, std::vector<OpenedInput>& inputs,
            const Destination& destination) {
    CheckedInput checked[2];
    RecordIndex indexes[2];
    for (int k = 0; k < 2; ++k) {
        if (LoadInput(inputs[k], checked[k]) != EXIT_DONE)
            return EXIT_USAGE;
        if (!indexes[k].Build(checked[k].input.bytes.get(), checked[k].input.length))
            return ComplainOfMemory(EXIT_USAGE);
    }
    RecordChanges changes;
    if (!DiffRecords(indexes[0], indexes[1], changes))
        return ComplainOfMemory(EXIT_USAGE);
    bool equal = changes.Equal();
    // Equal files give an empty diff: OUT holds what standard output would.
    int status = WriteOutputWith(destination, 0, EXIT_USAGE, [&](TextOut& out) {
        return equal || PrintDiff({checked[0].name, indexes[0]}, {checked[1].name, indexes[1]},
                                  changes, options.numeration, options.context, out);
    });
    return status != EXIT_DONE ? status : equal ? EXIT_DONE : EXIT_REFUSED;
}

// What one file gives of the record list, the search or the statistics, once it is accepted.
PrintOutcome PrintQuery(const DumpOptions& options, const CheckedInput& checked,
                        const std::string& listed, const LinePrefix& prefix, TextOut& out,
                        uint64_t& hits) {
    const unsigned char* data = checked.input.bytes.get();
    uint32_t length = checked.input.length;
    switch (options.task) {
    case TASK_RECORDS:
    case TASK_RECORDS_JSON:
        return PrintSelectedRecords(data, length, options.selection, prefix, out)
                   ? PRINT_DONE
                   : PRINT_WRITE_FAILED;
    case TASK_STATS:
    case TASK_STATS_JSON:
        return PrintTagStats(data, length, options.selection, prefix, out);
    default: {
        RecordIndex index;
        if (!index.Build(data, length))
            return PRINT_NO_MEMORY;
        uint64_t before = hits;
        PrintOutcome printed = PrintHits(
            index, options.query, options.selection, options.numeration, prefix, out, hits,
            options.mostHits, options.report != REPORT_HITS, options.color == COLOR_ALWAYS);
        bool withName = options.names == 1 || (options.names < 0 && options.inputs.size() > 1);
        return printed != PRINT_DONE || options.report == REPORT_HITS ||
                       options.report == REPORT_QUIET ||
                       PrintFileReport(options.report, listed.c_str(), withName, options.afterName,
                                       hits - before, out)
                   ? printed
                   : PRINT_WRITE_FAILED;
    }
    }
}

// One file of the record list, the search or the statistics, worked on apart: read, checked
// and its lines kept, or, when they are many, left to be written from `checked` in its turn.
struct FileAnswer {
    int status = EXIT_DONE;
    std::string told; // its messages
    CheckedInput checked;
    std::string listed; // its name as the lines name it
    std::string lines;
    bool linesKept = false;
    PrintOutcome printed = PRINT_DONE;
    uint64_t hits = 0;
    uint64_t length = 0; // what it writes, when that is known before
};

constexpr size_t KeptLinesLimit = size_t(1) << 20; // the most a waiting file holds of its lines

LinePrefix PrefixOf(const DumpOptions& options, const FileAnswer& answer, size_t files) {
    bool json = options.task == TASK_RECORDS_JSON || options.task == TASK_FIND_JSON ||
                options.task == TASK_STATS_JSON;
    bool withName = options.names == 1 || (options.names < 0 && files > 1);
    return PrefixFor(withName ? answer.checked.name : nullptr, answer.listed, json,
                     options.afterName);
}

PrintOutcome PrintAnswer(const DumpOptions& options, FileAnswer& answer, size_t files,
                         TextOut& out) {
    return PrintQuery(options, answer.checked, answer.listed, PrefixOf(options, answer, files), out,
                      answer.hits);
}

// The input, opened and cleared against OUT before, read and answered apart on a thread.
FileAnswer AnswerFile(const DumpOptions& options, OpenedInput& input, size_t files) {
    FileAnswer a;
    keptMessages = &a.told;
    a.status = LoadInput(input, a.checked);
    a.status = a.status ? a.status : CheckSelection(options, a.checked);
    bool standardInput = a.checked.name == StdinName;
    a.checked.name = standardInput ? ListedStdinName : a.checked.name;
    // Names stand quoted as messages quote them; --null is for xargs -0, so there a name is its
    // own bytes, as grep -Z writes it.
    a.listed = standardInput || options.afterName == '\0' ? a.checked.name : a.checked.shown;
    if (a.status == EXIT_DONE) {
        a.length = OutputLength(options, a.checked, Record{});
        TextOut kept(a.lines, KeptLinesLimit);
        a.printed = kept.Ready() ? PrintAnswer(options, a, files, kept) : PRINT_NO_MEMORY;
        a.linesKept = !kept.Overflowed();
        if (a.linesKept) {
            // Kept in memory, a line can only fail for want of it; the file is not needed now.
            a.printed = a.printed == PRINT_WRITE_FAILED ? PRINT_NO_MEMORY : a.printed;
            a.checked.input = {};
        } else { // too many lines to keep: written from the file in its turn
            a.printed = PRINT_DONE;
            a.hits = 0;
            a.lines = {};
        }
    }
    keptMessages = nullptr;
    return a;
}

// The record list, the search and the statistics, over one file or several, as grep goes over
// files: each is read and checked, a refused one is told and the others still run, and with
// several every line starts with the file's name. Files are worked on by several threads, a
// few at a time, and written in their order. OUT, cleared against all of them before, is opened
// at the first accepted file, so that when none is, it is left as it was. The status is the
// highest any file gave; for the search, grep's: 2 on any trouble, else 0 when something was
// found, else 1.
int RunEachFile(const DumpOptions& options, std::vector<OpenedInput>& inputs,
                const Destination& destination) {
    bool find = options.task == TASK_FIND || options.task == TASK_FIND_JSON;
    int failure = find ? EXIT_USAGE : EXIT_IO_ERROR;
    std::string name = destination.Shown();
    Output output;
    TextOut out(output);
    if (!out.Ready())
        return ComplainOfMemory(failure);
    bool opened = false;
    int worst = EXIT_DONE, ended = -1; // ended: the status of a failed write
    uint64_t hits = 0;
    size_t files = inputs.size();
    size_t accepted = 0;
    auto writeFailed = [&] {
        AbandonOutput(output); // a reader that went away is no news to tell
        ended = output.closedPipe ? failure : Complain(failure, name, OutputFailureText(output));
        return false;
    };
    ForEachInOrder<FileAnswer>(
        files, options.threads, size_t(options.threads) * 2,
        [&](size_t k) { return AnswerFile(options, inputs[k], files); },
        [&](size_t, FileAnswer& answer) {
            WriteText(stderr, answer.told);
            int status = answer.status;
            if (status == EXIT_DONE && !opened) {
                opened = OpenOutput(destination.Target(), answer.length, output);
                if (!opened) {
                    ended = Complain(failure, name, OutputFailureText(output));
                    return false;
                }
            }
            PrintOutcome printed = answer.printed;
            if (status == EXIT_DONE && printed == PRINT_DONE)
                printed = !answer.linesKept ? PrintAnswer(options, answer, files, out)
                          : out.Put(answer.lines) && out.Flush() ? PRINT_DONE
                                                                 : PRINT_WRITE_FAILED;
            if (printed == PRINT_NO_MEMORY)
                status = ComplainOfMemory(EXIT_IO_ERROR);
            if (printed == PRINT_WRITE_FAILED)
                return writeFailed();
            hits += answer.hits;
            accepted += status == EXIT_DONE;
            worst = status > worst ? status : worst;
            return !(options.report == REPORT_QUIET && hits); // grep -q: the first hit answers
        });
    if (ended >= 0)
        return ended;
    if (opened && options.recursive && options.task == TASK_STATS &&
        !(out.Put(std::to_string(accepted) + " files counted, " + std::to_string(files - accepted) +
                  " refused\n") &&
          out.Flush())) {
        writeFailed();
        return ended;
    }
    if (opened && !FinishOutput(output))
        return output.closedPipe ? failure : Complain(failure, name, OutputFailureText(output));
    if (!find)
        return worst;
    return worst != EXIT_DONE ? EXIT_USAGE : hits ? EXIT_DONE : EXIT_REFUSED;
}

// --salvage and --repair: a damaged file is read as any other and split into its intact records
// and damaged regions, which go to OUT as the task says, the summary to standard error. The
// statuses are diff's and grep's: 0 whole, 1 damage found and salvaged, 2 any trouble; the
// search keeps grep's own (0 found, 1 not), which a script asks it for, and the summary tells
// the damage.
int RunSalvage(const DumpOptions& options, std::vector<OpenedInput>& inputs,
               const Destination& destination) {
    CheckedInput checked;
    if (LoadInput(inputs[0], checked, true) != EXIT_DONE)
        return EXIT_USAGE;
    const unsigned char* data = checked.input.bytes.get();
    uint32_t length = checked.input.length;
    Salvage salvage;
    if (!SalvageFile(data, length, salvage))
        return ComplainOfMemory(EXIT_USAGE);
    bool repair = options.task == TASK_REPAIR;
    bool find = options.task == TASK_FIND || options.task == TASK_FIND_JSON;
    uint64_t hits = 0;
    if (repair && !options.signature && !SignatureSurvived(data, length, salvage))
        return Complain(EXIT_USAGE, checked.shown,
                        "the signature record is lost; --signature v2.0 or v1.1 says which to "
                        "write; nothing is written");
    uint64_t written = repair                      ? RepairedLength(data, length, salvage)
                       : options.task == TASK_DUMP ? uint64_t(salvage.lines) * DumpLineLength
                                                   : 0;
    int status = WriteOutputWith(destination, written, EXIT_USAGE, [&](TextOut& out) {
        if (repair)
            return PrintRepaired(data, length, salvage, options.signature ? options.signature : "",
                                 out);
        if (options.task == TASK_DUMP)
            return PrintSalvagedDump(data, salvage, options.numeration, out);
        if (find || options.task == TASK_STATS || options.task == TASK_STATS_JSON) {
            bool json = options.task == TASK_FIND_JSON || options.task == TASK_STATS_JSON;
            PrintOutcome printed = find ? PrintSalvagedHits(data, length, salvage, options.query,
                                                            options.numeration, json, out, hits)
                                        : PrintSalvagedStats(data, salvage, json, out);
            if (printed == PRINT_NO_MEMORY)
                ComplainOfMemory(EXIT_USAGE);
            return printed == PRINT_DONE;
        }
        return PrintSalvagedRecords(data, salvage, options.task == TASK_RECORDS_JSON, out);
    });
    if (status != EXIT_DONE)
        return status;
    std::fprintf(stderr, "qefdump: %s: %s\n", checked.shown.c_str(),
                 DescribeSalvage(salvage).c_str());
    bool whole = salvage.Whole() && SignatureSurvived(data, length, salvage);
    return (find ? hits > 0 : whole) ? EXIT_DONE : EXIT_REFUSED;
}

int PrintAndClose(void (*print)(std::FILE*)) {
    print(stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || std::fclose(stdout) != 0)
        return Complain(EXIT_IO_ERROR, StdoutName, std::strerror(errno));
    return EXIT_DONE;
}

void PrintVersion(std::FILE* stream) {
    std::fputs("qefdump " QEF_VERSION "\n", stream);
}

int Main(int argc, char** argv) {
    SetBinaryStandardStreams();
    DumpOptions options;
    switch (ParseDumpOptions(argc, argv, options)) {
    case PARSE_RUN:
        break;
    case PARSE_HELP:
        return PrintAndClose(PrintHelp);
    case PARSE_VERSION:
        return PrintAndClose(PrintVersion);
    case PARSE_USAGE_ERROR:
        return EXIT_USAGE;
    }
    if (options.threads == 0) // the processors, for several files
        options.threads = std::max(1u, std::thread::hardware_concurrency());
    // --color=auto is decided once, where the output is known.
    options.color =
        MarksHits(options.color, !options.output && IsTerminal(stdout), std::getenv("NO_COLOR"))
            ? COLOR_ALWAYS
            : COLOR_NEVER;
    // -r's folders become the files in them here, before any is opened, so that the door below
    // sees each of them.
    WalkedInputs walked;
    if (options.recursive) {
        walked = WalkInputs(options.inputs);
        options.inputs.clear();
        for (const std::string& path : walked.paths)
            options.inputs.push_back(path.c_str());
        options.names = options.names < 0 && walked.foundInFolder ? 1 : options.names;
    }
    // Every mode the same way: its inputs opened, OUT cleared against them, then its runner.
    std::vector<OpenedInput> inputs;
    std::optional<Destination> destination;
    OpenInputs(options, inputs);
    if (int status = ClearOutput(options.output, inputs, destination))
        return status;
    if (options.salvage)
        return RunSalvage(options, inputs, *destination);
    switch (options.task) {
    case TASK_DIFF:
        return RunDiff(options, inputs, *destination);
    case TASK_DUMP:
    case TASK_EXTRACT:
        return RunOneFile(options, inputs, *destination);
    default: {
        int status = RunEachFile(options, inputs, *destination);
        if (walked.complete)
            return status;
        int trouble = options.task == TASK_FIND || options.task == TASK_FIND_JSON ? EXIT_USAGE
                                                                                  : EXIT_IO_ERROR;
        return status > trouble ? status : trouble;
    }
    }
}

} // namespace

#ifdef _WIN32
// The command line as the system has it, UTF-16, made UTF-8 like every name and text inside the
// program: the ANSI code page of main's argv cannot hold most names (Ł.qef arrived as L.qef).
int wmain(int argc, wchar_t** wide) {
    std::vector<std::string> arguments(static_cast<size_t>(argc));
    std::vector<char*> argv;
    for (int k = 0; k < argc; ++k) {
        arguments[size_t(k)] = Narrow(wide[k]);
        argv.push_back(arguments[size_t(k)].data());
    }
    argv.push_back(nullptr);
    return Main(argc, argv.data());
}
#else
int main(int argc, char** argv) {
    return Main(argc, argv);
}
#endif
