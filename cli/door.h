// The one door between qefdump's inputs and its output: every input opened and identified
// first, OUT cleared against all of them, and only then anything read or written. Every mode
// takes its inputs from OpenInputs and writes only to the Destination that ClearOutput gives.
#pragma once

#include "cli/input.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/quote.h"
#include "cli/text_out.h"

#include "dump/records.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

enum ExitStatus { EXIT_DONE = 0, EXIT_REFUSED = 1, EXIT_USAGE = 2, EXIT_IO_ERROR = 3 };

// Messages call standard input "(stdin)" whatever the task; the lines of the record list, the
// search and the statistics name it as grep's do, for the scripts that read them.
constexpr const char* StdinName = "(stdin)";
constexpr const char* ListedStdinName = "(standard input)";
constexpr const char* StdoutName = "(stdout)";

// Where a thread's messages go: standard error, or, while it is set, the text kept for a file
// worked on apart, told when its turn comes so that the messages keep the order of the files.
extern thread_local std::string* keptMessages;
void Tell(const std::string& message);
// "qefdump: NAME: MESSAGE", `name` as messages show it; returns `status`.
int Complain(int status, const std::string& name, const std::string& message);
// Memory ran out while no file was being read or written: nothing to name but the cause.
int ComplainOfMemory(int status);
// "there is no record N: the file has M records", of the file messages call `shown`.
int ComplainOfNoRecord(const std::string& shown, uint64_t number, uint32_t count);

// An input opened and told apart from OUT, not yet read. Its stream stays open until it is
// read, so that the file identified is the file read.
struct OpenedInput {
    const char* name = nullptr;  // the path, or "(stdin)"; a diff's header quotes it
    std::string shown;           // as the messages call it
    std::FILE* stream = nullptr; // null when it could not be opened: `status` says why
    int status = EXIT_DONE;
    bool standardInput = false;
    OpenedInput() = default;
    OpenedInput(OpenedInput&& other) noexcept
        : name(other.name), shown(std::move(other.shown)), stream(other.stream),
          status(other.status), standardInput(other.standardInput) {
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
    bool standardInput = false;
    InputBytes input;
    RecordWalk chain{}; // its records and lines, as the check counted them
};

// Every input opened, in order, before anything is read or written; each that cannot be is
// told now and keeps its status for its turn.
void OpenInputs(const DumpOptions& options, std::vector<OpenedInput>& inputs);

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

int ClearOutput(const char* output, const std::vector<OpenedInput>& inputs,
                std::optional<Destination>& destination);

// The opened input read whole and checked; a refusal is told. The whole chain is checked before
// anything is written, so that a refusal writes nothing. To be salvaged, a file is refused only
// when it is too large.
int LoadInput(OpenedInput& opened, CheckedInput& checked, bool salvage = false);

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
                      const Record& extracted);

// A range that starts past the last record is a usage error, as a record to extract is.
int CheckSelection(const DumpOptions& options, const CheckedInput& checked);
