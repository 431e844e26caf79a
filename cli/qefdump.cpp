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

#include "dump/file_check.h"
#include "dump/viewer_dump.h"
#include "dump/record_text.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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
        std::fputs(message.c_str(), stderr);
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

// An input read whole and checked as the viewer checks it.
struct CheckedInput {
    const char* name = nullptr; // the path, or "(stdin)"; a diff's header quotes it
    std::string shown;          // as the messages call it
    InputBytes input;
    RecordWalk chain{}; // its records and lines, as the check counted them
};

// `path` is the input (standard input when null or "-"). It is compared with `output`, the OUT
// it must not be, before anything is read, so that `-o FILE FILE` and `-o FILE < FILE` touch
// nothing. The whole chain is checked before anything is written, so that a refusal writes
// nothing.
int LoadInput(const char* path, const char* output, CheckedInput& checked) {
    bool useStdin = IsStandardInput(path);
    checked.name = useStdin ? StdinName : path;
    checked.shown = useStdin ? StdinName : MessageName(path);
    if (!path && IsTerminal(stdin)) {
        Tell("qefdump: standard input is a terminal; give a FILE or pipe one in\n");
        return EXIT_USAGE;
    }
    std::FILE* stream = useStdin ? stdin : std::fopen(path, "rb");
    if (!stream)
        return Complain(EXIT_IO_ERROR, checked.shown, std::strerror(errno));
    ReadFailure failure;
    ReadOutcome outcome = READ_FAILED;
    // Standard output is an output like OUT: `qefdump F >> F` would append to what it reads.
    FileMatch match = output ? IsSameFile(stream, output) : IsSameFile(stream, stdout);
    if (match == FILES_DIFFERENT)
        outcome = ReadInput(stream, MaxModuleInfoLength, checked.input, failure);
    if (!useStdin)
        std::fclose(stream);
    std::string written = output ? MessageName(output) : checked.shown;
    if (match == FILES_SAME)
        return Complain(EXIT_USAGE, written, "input file is output file");
    if (match == FILES_UNKNOWN)
        return Complain(EXIT_USAGE, output ? written : StdoutName,
                        "cannot tell whether input file is output file; nothing is written");
    if (outcome == READ_FAILED)
        return Complain(EXIT_IO_ERROR, checked.shown,
                        failure.error == ENOMEM ? AllocationFailureText
                                                : std::strerror(failure.error));
    const unsigned char* bytes = checked.input.bytes.get();
    uint64_t length = outcome == READ_TOO_LARGE ? failure.fileSize : checked.input.length;
    FileCheck check = outcome == READ_TOO_LARGE ? FileCheck{FILE_TOO_LARGE, {}}
                                                : CheckModuleInfoFile(bytes, length);
    if (check.verdict != FILE_ACCEPTED)
        return Complain(EXIT_REFUSED, checked.shown, DescribeRefusal(check, bytes, length));
    checked.chain = check.chain;
    return EXIT_DONE;
}

// Opens OUT, has `print` write everything and puts it in place; an error of either is told.
// `length` is what `print` will write, 0 when it is not known.
template <typename Print>
int WriteOutputWith(const char* target, uint64_t length, int failure, Print&& print) {
    std::string name = target ? MessageName(target) : StdoutName;
    Output output;
    TextOut out(output);
    if (!out.Ready())
        return ComplainOfMemory(failure);
    if (!OpenOutput(target, length, output))
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

int RunOneFile(const DumpOptions& options) {
    CheckedInput checked;
    if (int status = LoadInput(options.Input(0), options.output, checked))
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
        options.output, OutputLength(options, checked, record), EXIT_IO_ERROR, [&](TextOut& out) {
            if (options.task == TASK_EXTRACT)
                return PrintRecordData(record, out);
            return PrintSelectedDump(data, length, options.selected ? &options.selection : nullptr,
                                     options.numeration, options.lineFeeds, out);
        });
}

// Both files are read and checked as for a dump; any trouble is diff's exit status 2.
int RunDiff(const DumpOptions& options) {
    CheckedInput checked[2];
    RecordIndex indexes[2];
    for (int k = 0; k < 2; ++k) {
        if (LoadInput(options.Input(k), options.output, checked[k]) != EXIT_DONE)
            return EXIT_USAGE;
        if (!indexes[k].Build(checked[k].input.bytes.get(), checked[k].input.length))
            return ComplainOfMemory(EXIT_USAGE);
    }
    RecordChanges changes;
    if (!DiffRecords(indexes[0], indexes[1], changes))
        return ComplainOfMemory(EXIT_USAGE);
    bool equal = changes.Equal();
    // Equal files give an empty diff: OUT holds what standard output would.
    int status = WriteOutputWith(options.output, 0, EXIT_USAGE, [&](TextOut& out) {
        return equal || PrintDiff({checked[0].name, indexes[0]}, {checked[1].name, indexes[1]},
                                  changes, options.numeration, options.context, out);
    });
    return status != EXIT_DONE ? status : equal ? EXIT_DONE : EXIT_REFUSED;
}

// What one file gives of the record list, the search or the statistics, once it is accepted.
PrintOutcome PrintQuery(const DumpOptions& options, const CheckedInput& checked,
                        const LinePrefix& prefix, TextOut& out, uint64_t& hits) {
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
                       PrintFileReport(options.report, checked.name, withName, options.afterName,
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
    std::string lines;
    bool linesKept = false;
    PrintOutcome printed = PRINT_DONE;
    uint64_t hits = 0;
    uint64_t length = 0; // what it writes, when that is known before
};

constexpr size_t KeptLinesLimit = size_t(1) << 20; // the most a waiting file holds of its lines

LinePrefix PrefixOf(const DumpOptions& options, const CheckedInput& checked, size_t files) {
    bool json = options.task == TASK_RECORDS_JSON || options.task == TASK_FIND_JSON ||
                options.task == TASK_STATS_JSON;
    bool withName = options.names == 1 || (options.names < 0 && files > 1);
    return PrefixFor(withName ? checked.name : nullptr, json, options.afterName);
}

FileAnswer AnswerFile(const DumpOptions& options, size_t k, size_t files) {
    FileAnswer a;
    keptMessages = &a.told;
    a.status = LoadInput(options.Input(k), options.output, a.checked);
    a.status = a.status ? a.status : CheckSelection(options, a.checked);
    a.checked.name = IsStandardInput(options.Input(k)) ? ListedStdinName : a.checked.name;
    if (a.status == EXIT_DONE) {
        a.length = OutputLength(options, a.checked, Record{});
        TextOut kept(a.lines, KeptLinesLimit);
        a.printed = kept.Ready() ? PrintQuery(options, a.checked,
                                              PrefixOf(options, a.checked, files), kept, a.hits)
                                 : PRINT_NO_MEMORY;
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
// few at a time, and written in their order. OUT is opened at the first accepted file, so
// that when none is, it is left as it was. The status is the highest any file gave; for the
// search, grep's: 2 on any trouble, else 0 when something was found, else 1.
int RunEachFile(const DumpOptions& options) {
    bool find = options.task == TASK_FIND || options.task == TASK_FIND_JSON;
    int failure = find ? EXIT_USAGE : EXIT_IO_ERROR;
    std::string name = options.output ? MessageName(options.output) : StdoutName;
    Output output;
    TextOut out(output);
    if (!out.Ready())
        return ComplainOfMemory(failure);
    bool opened = false;
    int worst = EXIT_DONE, ended = -1; // ended: the status of a failed write
    uint64_t hits = 0;
    // Without FILE, standard input; but -r walked the working folder then, maybe to nothing.
    size_t files = options.inputs.empty() && !options.recursive ? 1 : options.inputs.size();
    size_t accepted = 0;
    auto writeFailed = [&] {
        AbandonOutput(output); // a reader that went away is no news to tell
        ended = output.closedPipe ? failure : Complain(failure, name, OutputFailureText(output));
        return false;
    };
    ForEachInOrder<FileAnswer>(
        files, options.threads, size_t(options.threads) * 2,
        [&](size_t k) { return AnswerFile(options, k, files); },
        [&](size_t, FileAnswer& answer) {
            std::fputs(answer.told.c_str(), stderr);
            int status = answer.status;
            if (status == EXIT_DONE && !opened) {
                opened = OpenOutput(options.output, answer.length, output);
                if (!opened) {
                    ended = Complain(failure, name, OutputFailureText(output));
                    return false;
                }
            }
            PrintOutcome printed = answer.printed;
            if (status == EXIT_DONE && printed == PRINT_DONE)
                printed = !answer.linesKept ? PrintQuery(options, answer.checked,
                                                         PrefixOf(options, answer.checked, files),
                                                         out, answer.hits)
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

int PrintAndClose(void (*print)(std::FILE*)) {
    print(stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || std::fclose(stdout) != 0)
        return Complain(EXIT_IO_ERROR, StdoutName, std::strerror(errno));
    return EXIT_DONE;
}

void PrintVersion(std::FILE* stream) {
    std::fputs("qefdump " QEF_VERSION "\n", stream);
}

} // namespace

int main(int argc, char** argv) {
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
    // -r's folders become the files in them here, before any is read, so that every check of
    // an input sees each of them.
    WalkedInputs walked;
    if (options.recursive) {
        walked = WalkInputs(options.inputs);
        options.inputs.clear();
        for (const std::string& path : walked.paths)
            options.inputs.push_back(path.c_str());
        options.names = options.names < 0 && walked.foundInFolder ? 1 : options.names;
    }
    switch (options.task) {
    case TASK_DIFF:
        return RunDiff(options);
    case TASK_DUMP:
    case TASK_EXTRACT:
        return RunOneFile(options);
    default: {
        int status = RunEachFile(options);
        if (walked.complete)
            return status;
        int trouble = options.task == TASK_FIND || options.task == TASK_FIND_JSON ? EXIT_USAGE
                                                                                  : EXIT_IO_ERROR;
        return status > trouble ? status : trouble;
    }
    }
}
