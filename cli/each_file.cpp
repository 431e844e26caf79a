#include "cli/each_file.h"
#include "cli/file_pool.h"
#include "cli/query_printers.h"
#include "cli/win32_text.h"

#include "dump/record_index.h"

namespace {

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
    bool standardInput = a.checked.standardInput;
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

} // namespace

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
