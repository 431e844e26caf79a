#include "cli/door.h"
#include "cli/quote.h"
#include "cli/win32_text.h"

#include "dump/file_check.h"
#include "dump/plural.h"
#include "dump/record_text.h"
#include "dump/viewer_dump.h"

#include <cerrno>
#include <cstring>

namespace {

const char* const AllocationFailureText = DumpFailureMessages[DUMP_ALLOCATION_FAILED].text;

} // namespace

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

int ComplainOfNoRecord(const std::string& shown, uint64_t number, uint32_t count) {
    return Complain(EXIT_USAGE, shown,
                    "there is no record " + std::to_string(number) + ": the file has " +
                        std::to_string(count) + " record" + PluralEnding(count));
}

// Every input opened, in order, before anything is read or written; each that cannot be is
// told now and keeps its status for its turn.
void OpenInputs(const DumpOptions& options, std::vector<OpenedInput>& inputs) {
    // Without FILE, standard input; but -r walked the working folder then, maybe to nothing.
    size_t files = options.inputs.empty() && !options.recursive ? 1 : options.inputs.size();
    for (size_t k = 0; k < files; ++k) {
        const char* path = options.Input(k);
        OpenedInput& opened = inputs.emplace_back();
        bool useStdin = opened.standardInput = IsStandardInput(path);
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

// The one door to the output. Every mode comes here with all its inputs open and nothing
// written: OUT (standard output when null) is refused when it is any of them however it is
// reached, or when the system cannot tell, and then nothing at all is written. A new mode opens
// its inputs with OpenInputs and writes only to the Destination this gives.
int ClearOutput(const char* output, const std::vector<OpenedInput>& inputs,
                std::optional<Destination>& destination) {
    for (const OpenedInput& input : inputs) {
        if (!input.stream && input.standardInput)
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
int LoadInput(OpenedInput& opened, CheckedInput& checked, bool salvage) {
    checked.name = opened.name;
    checked.standardInput = opened.standardInput;
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
    return ComplainOfNoRecord(checked.shown, latest, count);
}
