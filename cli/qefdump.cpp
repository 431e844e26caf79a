// qefdump: the dump of a module-info file on the command line, byte for byte as the viewer
// shows it.
#include "cli/diff.h"
#include "cli/input.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/records.h"

#include "dump/formatter.h"
#include "dump/line_kernel.h"
#include "dump/module_info.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

enum ExitStatus { EXIT_DONE = 0, EXIT_REFUSED = 1, EXIT_USAGE = 2, EXIT_IO_ERROR = 3 };

constexpr const char* StdinName = "(stdin)";
constexpr const char* StdoutName = "(stdout)";
const char* const AllocationFailureText = DumpFailureMessages[DUMP_ALLOCATION_FAILED].text;

// Whole lines per write: large enough that the writes cost nothing next to the formatting,
// small enough that memory does not grow with the output.
constexpr size_t ChunkLines = 8192;

int Complain(int status, const char* name, const char* message) {
    std::fprintf(stderr, "qefdump: %s: %s\n", name, message);
    return status;
}

int ComplainFormatError(const char* name, const DumpPlan& plan) {
    const char* message = DumpFailureMessages[DUMP_FORMAT_ERROR].text;
    uint32_t record = plan.recordCount + 1;
    if (plan.bytesLeft < RecordHeaderSize) {
        std::fprintf(stderr,
                     "qefdump: %s: %s Record %" PRIu32 " at offset 0x%" PRIX32 ": only %" PRIu32
                     " bytes left, too few for a record header.\n",
                     name, message, record, plan.brokenOffset, plan.bytesLeft);
    } else {
        std::fprintf(stderr,
                     "qefdump: %s: %s Record %" PRIu32 " at offset 0x%" PRIX32 " declares %" PRIu32
                     " data bytes, but only %" PRIu32 " follow its header.\n",
                     name, message, record, plan.brokenOffset, plan.brokenSize,
                     plan.bytesLeft - RecordHeaderSize);
    }
    return EXIT_REFUSED;
}

void SetBinaryStandardStreams() {
#ifdef _WIN32
    // Text mode would turn every CR LF of the dump into CR CR LF.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

// Too large: the size of a file, or only that a stream went past the limit.
int ComplainTooLarge(const char* name, uint64_t fileSize) {
    const char* message = DumpFailureMessages[DUMP_TOO_LARGE].text;
    if (fileSize == 0)
        std::fprintf(stderr, "qefdump: %s: %s More than the limit of %" PRIu32 " bytes arrived.\n",
                     name, message, MaxModuleInfoLength);
    else
        std::fprintf(stderr,
                     "qefdump: %s: %s The file has %" PRIu64
                     " bytes, more than the limit of %" PRIu32 ".\n",
                     name, message, fileSize, MaxModuleInfoLength);
    return EXIT_REFUSED;
}

// No signature: what stands where it belongs, shown as the dump shows characters.
int ComplainNoSignature(const char* name, const InputBytes& input) {
    const char* message = DumpFailureMessages[DUMP_NO_SIGNATURE].text;
    if (input.length < SignatureOffset + SignatureLength) {
        std::fprintf(stderr,
                     "qefdump: %s: %s Only %" PRIu32 " bytes, too few for the %" PRIu32
                     "-byte signature at offset %" PRIu32 ".\n",
                     name, message, input.length, SignatureLength, SignatureOffset);
        return EXIT_REFUSED;
    }
    char shown[SignatureLength + 1] = {};
    for (uint32_t k = 0; k < SignatureLength; ++k)
        shown[k] = ByteTexts.shown[input.bytes[SignatureOffset + k]];
    std::fprintf(stderr,
                 "qefdump: %s: %s The %" PRIu32 " bytes at offset %" PRIu32
                 " are \"%s\", not a signature.\n",
                 name, message, SignatureLength, SignatureOffset, shown);
    return EXIT_REFUSED;
}

// `path` is the input (standard input when null or "-"). It is compared with `output`, the OUT
// it must not be, before anything is read, so that `-o FILE FILE` and `-o FILE < FILE` touch
// nothing.
int ReadInputFile(const char* path, const char* output, const char* name, InputBytes& input) {
    bool useStdin = IsStandardInput(path);
    if (!path && IsTerminal(stdin)) {
        std::fputs("qefdump: standard input is a terminal; give a FILE or pipe one in\n", stderr);
        return EXIT_USAGE;
    }
    std::FILE* stream = useStdin ? stdin : std::fopen(path, "rb");
    if (!stream)
        return Complain(EXIT_IO_ERROR, name, std::strerror(errno));
    ReadFailure failure;
    ReadOutcome outcome = READ_FAILED;
    bool sameFile = output && IsSameFile(stream, output);
    if (!sameFile)
        outcome = ReadInput(stream, MaxModuleInfoLength, input, failure);
    if (!useStdin)
        std::fclose(stream);
    if (sameFile)
        return Complain(EXIT_USAGE, output, "input file is output file");
    if (outcome == READ_FAILED)
        return Complain(EXIT_IO_ERROR, name,
                        failure.error == ENOMEM ? AllocationFailureText
                                                : std::strerror(failure.error));
    if (outcome == READ_TOO_LARGE)
        return ComplainTooLarge(name, failure.fileSize);
    return EXIT_DONE;
}

// The whole chain is checked before anything is written, so that a refusal writes nothing.
int CheckInput(const char* name, const InputBytes& input) {
    if (!IsModuleInfoFile(input.bytes.get(), input.length))
        return ComplainNoSignature(name, input);
    DumpPlan plan = PlanDump(input.bytes.get(), input.length);
    if (!plan.complete)
        return ComplainFormatError(name, plan);
    return EXIT_DONE;
}

class OutputSink final : public DumpLineSink {
  public:
    explicit OutputSink(Output& output) : output_(output) {}
    bool WriteLines(const char* lines, size_t bytes) override {
        return WriteOutput(output_, lines, bytes);
    }

  private:
    Output& output_;
};

constexpr size_t RecordLineLength = 60;

bool WriteDump(const InputBytes& input, Numeration mode, char* chunk, Output& output) {
    OutputSink sink(output);
    return WriteDumpLines(input.bytes.get(), input.length, mode, chunk, ChunkLines * DumpLineLength,
                          &sink, nullptr) == DUMP_WALK_COMPLETE;
}

// Right-aligned in `width` columns, spaces in front.
void PutDecimal(char* field, size_t width, uint32_t value) {
    std::memset(field, ' ', width);
    char* digit = field + width;
    do {
        *--digit = char('0' + value % 10);
        value /= 10;
    } while (value != 0 && digit != field);
}

void PutHex(char* field, size_t digits, uint32_t value) {
    const char hexDigits[] = "0123456789ABCDEF";
    for (size_t k = digits; k-- > 0; value >>= 4)
        field[k] = hexDigits[value & 15];
}

// "         1  00000000  4D 6F 64 00  MI_SIGNATURE          32\n"
char* FormatRecordLine(char* line, uint32_t number, uint32_t offset, const unsigned char* record) {
    RecordHeader header = ReadRecordHeader(record);
    std::memset(line, ' ', RecordLineLength);
    PutDecimal(line, 10, number);
    PutHex(line + 12, 8, offset);
    for (size_t k = 0; k < 4; ++k)
        PutHex(line + 22 + 3 * k, 2, record[k]);
    std::memcpy(line + 35, LookupTagName(header.tag).data(), TagNameLength);
    PutDecimal(line + 49, 10, header.size);
    line[RecordLineLength - 1] = '\n';
    return line + RecordLineLength;
}

bool WriteTask(const DumpOptions& options, const InputBytes& input, char* chunk, Output& output) {
    OutputSink sink(output);
    if (options.extract)
        return WriteRecordData(input.bytes.get(), input.length, options.extract, sink);
    if (options.json)
        return WriteRecordJson(input.bytes.get(), input.length, chunk, ChunkLines * DumpLineLength,
                               sink);
    if (options.listRecords)
        return WriteRecordLines(input.bytes.get(), input.length, FormatRecordLine, RecordLineLength,
                                chunk, ChunkLines * DumpLineLength, sink);
    return WriteDump(input, options.numeration, chunk, output);
}

// A record number past the end is a usage error, told before any output is opened.
int CheckExtract(const DumpOptions& options, const char* name, const InputBytes& input) {
    RecordSpan span{};
    uint32_t count = 0;
    if (!options.extract ||
        FindRecord(input.bytes.get(), input.length, options.extract, span, count))
        return EXIT_DONE;
    std::fprintf(stderr,
                 "qefdump: %s: there is no record %" PRIu32 ": the file has %" PRIu32 " record%s\n",
                 name, options.extract, count, count == 1 ? "" : "s");
    return EXIT_USAGE;
}

// The output's length where it is known before writing, so that an OUT written in place can have
// its room reserved; 0 when it is not.
uint64_t OutputLength(const DumpOptions& options, const InputBytes& input) {
    RecordSpan span{};
    uint32_t count = 0;
    if (options.extract)
        return FindRecord(input.bytes.get(), input.length, options.extract, span, count) ? span.size
                                                                                         : 0;
    if (options.json)
        return 0;
    DumpPlan plan = PlanDump(input.bytes.get(), input.length);
    return options.listRecords ? uint64_t(plan.recordCount) * RecordLineLength
                               : plan.lineCount * DumpLineLength;
}

int WriteResult(const DumpOptions& options, const InputBytes& input) {
    const char* name = options.output ? options.output : StdoutName;
    // Taken before the output is opened, so that running out of memory leaves no file behind.
    std::unique_ptr<char[]> chunk(
        new (std::nothrow) char[ChunkLines * std::max(DumpLineLength, RecordLineLength)]);
    if (!chunk)
        return Complain(EXIT_IO_ERROR, name, AllocationFailureText);
    Output output;
    if (!OpenOutput(options.output, OutputLength(options, input), output))
        return Complain(EXIT_IO_ERROR, name, OutputFailureText(output).c_str());
    bool written = WriteTask(options, input, chunk.get(), output);
    if (!written) {
        AbandonOutput(output);
        return Complain(EXIT_IO_ERROR, name, OutputFailureText(output).c_str());
    }
    if (!FinishOutput(output))
        return Complain(EXIT_IO_ERROR, name, OutputFailureText(output).c_str());
    return EXIT_DONE;
}

// Both files are read and checked as for a dump; any trouble is diff's exit status 2.
int RunDiff(const DumpOptions& options) {
    const char* paths[2] = {options.input, options.secondInput};
    InputBytes inputs[2];
    for (int k = 0; k < 2; ++k) {
        const char* name = IsStandardInput(paths[k]) ? StdinName : paths[k];
        if (ReadInputFile(paths[k], options.output, name, inputs[k]) || CheckInput(name, inputs[k]))
            return EXIT_USAGE;
    }
    const char* name = options.output ? options.output : StdoutName;
    Output output;
    if (!OpenOutput(options.output, 0, output))
        return Complain(EXIT_USAGE, name, OutputFailureText(output).c_str());
    OutputSink sink(output);
    DiffOutcome outcome = WriteRecordDiff({paths[0], inputs[0].bytes.get(), inputs[0].length},
                                          {paths[1], inputs[1].bytes.get(), inputs[1].length},
                                          options.numeration, options.context, sink);
    if (outcome == DIFF_NO_MEMORY || outcome == DIFF_WRITE_FAILED) {
        AbandonOutput(output);
        return Complain(EXIT_USAGE, name,
                        outcome == DIFF_NO_MEMORY ? AllocationFailureText
                                                  : OutputFailureText(output).c_str());
    }
    if (!FinishOutput(output))
        return Complain(EXIT_USAGE, name, OutputFailureText(output).c_str());
    return outcome == DIFF_EQUAL ? EXIT_DONE : EXIT_REFUSED;
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
    if (options.diff)
        return RunDiff(options);
    const char* inputName = IsStandardInput(options.input) ? StdinName : options.input;
    InputBytes input;
    if (int status = ReadInputFile(options.input, options.output, inputName, input))
        return status;
    if (int status = CheckInput(inputName, input))
        return status;
    if (int status = CheckExtract(options, inputName, input))
        return status;
    return WriteResult(options, input);
}
