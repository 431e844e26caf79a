// qefdump: the dump of a module-info file on the command line, byte for byte as the viewer
// shows it; its record list, a record's data, and what changed between two files.
#include "cli/door.h"
#include "cli/each_file.h"
#include "cli/file_walk.h"
#include "cli/printers.h"
#include "cli/salvage_printers.h"
#include "cli/win32_text.h"

#include "dump/record_diff.h"
#include "dump/record_index.h"
#include "dump/salvage.h"
#include "dump/salvage_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

void SetBinaryStandardStreams() {
#ifdef _WIN32
    // Text mode would turn every CR LF of the dump into CR CR LF.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
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
        return ComplainOfNoRecord(checked.shown, options.record, count);
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
    Tell("qefdump: " + checked.shown + ": " + DescribeSalvage(salvage) + "\n");
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
