// qefdump: the dump of a module-info file on the command line, byte for byte as the viewer
// shows it; its record list, a record's data, and what changed between two files.
#include "cli/input.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/printers.h"
#include "cli/query_printers.h"
#include "cli/quote.h"
#include "cli/salvage_printers.h"

#include "dump/file_check.h"
#include "dump/viewer_dump.h"
#include "dump/record_text.h"
#include "dump/salvage_text.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

enum ExitStatus { EXIT_DONE = 0, EXIT_REFUSED = 1, EXIT_USAGE = 2, EXIT_IO_ERROR = 3 };

constexpr const char* StdinName = "(stdin)";
constexpr const char* StdoutName = "(stdout)";
const char* const AllocationFailureText = DumpFailureMessages[DUMP_ALLOCATION_FAILED].text;

// `name` as messages show it: a file's name quoted where it needs quotes, or "(stdin)".
int Complain(int status, const std::string& name, const std::string& message) {
    std::fprintf(stderr, "qefdump: %s: %s\n", name.c_str(), message.c_str());
    return status;
}

// Memory ran out while no file was being read or written: nothing to name but the cause.
int ComplainOfMemory(int status) {
    std::fprintf(stderr, "qefdump: %s\n", AllocationFailureText);
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
// nothing. To be salvaged, a file is refused only when it is too large.
int LoadInput(const char* path, const char* output, CheckedInput& checked, bool salvage = false) {
    bool useStdin = IsStandardInput(path);
    checked.name = useStdin ? StdinName : path;
    checked.shown = useStdin ? StdinName : MessageName(path);
    if (!path && IsTerminal(stdin)) {
        std::fputs("qefdump: standard input is a terminal; give a FILE or pipe one in\n", stderr);
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
    bool salvaged = salvage && check.verdict != FILE_TOO_LARGE;
    if (check.verdict != FILE_ACCEPTED && !salvaged)
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

// A selection that starts past the last record is a usage error, as a record to extract is.
int CheckSelection(const DumpOptions& options, const CheckedInput& checked) {
    uint32_t count = checked.chain.next.record;
    if (!options.selected || options.selection.first <= count)
        return EXIT_DONE;
    return Complain(EXIT_USAGE, checked.shown,
                    "there is no record " + std::to_string(options.selection.first) +
                        ": the file has " + std::to_string(count) +
                        (count == 1 ? " record" : " records"));
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
        return PrintHits(index, options.query, options.selection, options.numeration, prefix, out,
                         hits);
    }
    }
}

// The record list, the search and the statistics, over one file or several, as grep goes over
// files: each is read and checked in turn, a refused one is told and the others still run, and
// with several every line starts with the file's name. OUT is opened at the first accepted
// file, so that when none is, it is left as it was. The status is the highest any file gave;
// for the search, grep's: 2 on any trouble, else 0 when something was found, else 1.
int RunEachFile(const DumpOptions& options) {
    bool find = options.task == TASK_FIND || options.task == TASK_FIND_JSON;
    bool json = options.task == TASK_RECORDS_JSON || options.task == TASK_FIND_JSON ||
                options.task == TASK_STATS_JSON;
    int failure = find ? EXIT_USAGE : EXIT_IO_ERROR;
    std::string name = options.output ? MessageName(options.output) : StdoutName;
    Output output;
    TextOut out(output);
    if (!out.Ready())
        return ComplainOfMemory(failure);
    bool opened = false;
    int worst = EXIT_DONE;
    uint64_t hits = 0;
    size_t files = options.inputs.empty() ? 1 : options.inputs.size();
    for (size_t k = 0; k < files; ++k) {
        CheckedInput checked;
        int status = LoadInput(options.Input(k), options.output, checked);
        status = status ? status : CheckSelection(options, checked);
        if (status == EXIT_DONE && !opened) {
            opened = OpenOutput(options.output, OutputLength(options, checked, Record{}), output);
            if (!opened)
                return Complain(failure, name, OutputFailureText(output));
        }
        PrintOutcome printed =
            status ? PRINT_DONE
                   : PrintQuery(options, checked,
                                PrefixFor(files > 1 ? checked.name : nullptr, json), out, hits);
        if (printed == PRINT_NO_MEMORY)
            status = ComplainOfMemory(EXIT_IO_ERROR);
        if (printed == PRINT_WRITE_FAILED) {
            AbandonOutput(output); // a reader that went away is no news to tell
            return output.closedPipe ? failure : Complain(failure, name, OutputFailureText(output));
        }
        worst = status > worst ? status : worst;
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
int RunSalvage(const DumpOptions& options) {
    CheckedInput checked;
    if (LoadInput(options.Input(0), options.output, checked, true) != EXIT_DONE)
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
    int status = WriteOutputWith(options.output, written, EXIT_USAGE, [&](TextOut& out) {
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
    if (options.salvage)
        return RunSalvage(options);
    switch (options.task) {
    case TASK_DIFF:
        return RunDiff(options);
    case TASK_DUMP:
    case TASK_EXTRACT:
        return RunOneFile(options);
    default:
        return RunEachFile(options);
    }
}
