#include "cli/options.h"

#include <charconv>
#include <string_view>
#include <system_error>

namespace {

enum OptionId {
    OPTION_NUMERATION,
    OPTION_OUTPUT,
    OPTION_RECORDS,
    OPTION_JSON,
    OPTION_DIFF,
    OPTION_CONTEXT,
    OPTION_EXTRACT,
    OPTION_HELP,
    OPTION_VERSION
};

struct OptionEntry {
    std::string_view shortName; // empty when there is none
    std::string_view longName;
    OptionId id;
    bool takesValue;
};

constexpr OptionEntry OptionTable[] = {
    {"-n", "--numeration", OPTION_NUMERATION, true},
    {"-o", "--output", OPTION_OUTPUT, true},
    {"", "--records", OPTION_RECORDS, false},
    {"", "--json", OPTION_JSON, false},
    {"", "--diff", OPTION_DIFF, false},
    {"-U", "--context", OPTION_CONTEXT, true},
    {"", "--extract", OPTION_EXTRACT, true},
    {"-h", "--help", OPTION_HELP, false},
    {"", "--version", OPTION_VERSION, false},
};

struct NumerationName {
    std::string_view name;
    Numeration mode;
};

constexpr NumerationName NumerationNames[] = {
    {"multi", NUMERATION_MULTI},
    {"single", NUMERATION_SINGLE},
    {"offset", NUMERATION_OFFSET},
};

const char HelpText[] =
    "usage: qefdump [-n multi|single|offset] [-o OUT] [--records] [FILE|-]\n"
    "       qefdump --records --json [-o OUT] [FILE|-]\n"
    "       qefdump --diff [-U N] [-n MODE] [-o OUT] A B\n"
    "       qefdump --extract N [-o OUT] [FILE|-]\n"
    "\n"
    "Writes the dump of the module-info file FILE (standard input when FILE is - or\n"
    "absent) to standard output or OUT, byte for byte as the viewer shows it: lines\n"
    "of 103 bytes, each ending in CR LF. A file that is too large, lacks the\n"
    "signature or has a broken record chain is refused and nothing is written.\n"
    "\n"
    "  -n, --numeration MODE  what the number column counts, in decimal: multi\n"
    "                         (record number, and the sub-line in the size column;\n"
    "                         the default), single (running line number) or offset\n"
    "                         (file offset of the line's first data byte)\n"
    "  -o, --output OUT       write to OUT instead of standard output (see below)\n"
    "      --records          list the records instead of dumping them\n"
    "      --json             with --records: one JSON object per line instead\n"
    "      --diff             compare the records of A and B (one may be -)\n"
    "  -U, --context N        equal records shown around each change (1)\n"
    "      --extract N        write the data bytes of record N (from 1) alone\n"
    "  -h, --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "A short option may carry its value attached (-noffset), and a long option may\n"
    "be shortened while it stays unique (--num offset).\n"
    "\n"
    "OUT is never the input itself (that is a usage error). A symbolic link is\n"
    "followed to the file it names, and stays a link; a loop of links is an error.\n"
    "/dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N are written through\n"
    "that descriptor, where it stands, appending where it appends. A regular file\n"
    "is written to a private temporary beside it, named after it, that replaces it\n"
    "once all is written, with its owner, group and mode (on Windows, its ACL,\n"
    "attributes and streams); a failure, a full disk, a signal or a crash leaves\n"
    "it as it was. It is written in place instead when it has more than one hard\n"
    "link, or when this user cannot make the temporary in its folder or give it\n"
    "the file's owner and group. Room for the output is then reserved first where\n"
    "the file system allows, so that a full disk leaves it as it was; but an\n"
    "error, a signal or a crash part-way through leaves it short. Anything else\n"
    "(a terminal, a pipe, a device) is written in place.\n"
    "\n"
    "--records writes one line of 60 bytes per record, ending in LF:\n"
    "  columns  1-10  record number (the first record is 1), decimal, right-aligned\n"
    "          13-20  offset of the record in the file, 8 hexadecimal digits\n"
    "          23-33  the four tag bytes in file order, in hexadecimal\n"
    "          36-47  the tag name, 12 characters\n"
    "          50-59  the number of data bytes, decimal, right-aligned\n"
    "  for example\n"
    "         1  00000000  4D 6F 64 00  MI_SIGNATURE          32\n"
    "and with --json, where it is one line:\n"
    "  {\"record\": 1, \"offset\": 0, \"tag\": \"4D6F6400\", \"name\": \"MI_SIGNATURE\",\n"
    "   \"size\": 32}\n"
    "\n"
    "--diff reads and checks A and B as a dump would, then shows which records\n"
    "changed between them: each record's dump lines, as in the dump of its own\n"
    "file but ending in LF, marked - (only in A), + (only in B) or with a space\n"
    "(the same in both), in hunks headed by their record numbers in A and B:\n"
    "  qefdump --diff old.qef new.qef\n"
    "  --- old.qef\n"
    "  +++ new.qef\n"
    "  @@ -2,2 +2,2 @@\n"
    "   00000002: MI_VERSION    |00004| 01 02 00 00  ...\n"
    "  -00000003: MI_END        |00000|              ...\n"
    "  +00000003: NM_LABEL      |00001| 41           ...\n"
    "Its exit status is 0 when the records are the same, 1 when they differ and\n"
    "2 on any trouble.\n"
    "\n"
    "--extract 2 FILE -o data.bin writes the data of record 2 to data.bin.\n"
    "\n"
    "Exit status: 0 done, 1 file refused, 2 usage error, 3 input or output error.\n";

// "qefdump: " and `message`, then `argument` in quotes when there is one.
ParseOutcome UsageError(const char* message, std::string_view argument) {
    if (argument.empty())
        std::fprintf(stderr, "qefdump: %s\nTry 'qefdump --help'.\n", message);
    else
        std::fprintf(stderr, "qefdump: %s '%.*s'\nTry 'qefdump --help'.\n", message,
                     int(argument.size()), argument.data());
    return PARSE_USAGE_ERROR;
}

// An exact name, or the one long name that begins with `name`; null when there is none or
// `ambiguous` is set.
const OptionEntry* FindLongOption(std::string_view name, bool& ambiguous) {
    const OptionEntry* found = nullptr;
    int matches = 0;
    for (const OptionEntry& option : OptionTable) {
        if (option.longName == name)
            return &option;
        if (name.size() > 2 && option.longName.starts_with(name)) {
            found = &option;
            ++matches;
        }
    }
    ambiguous = matches > 1;
    return matches == 1 ? found : nullptr;
}

const OptionEntry* FindShortOption(std::string_view name) {
    for (const OptionEntry& option : OptionTable)
        if (!option.shortName.empty() && name.starts_with(option.shortName))
            return &option;
    return nullptr;
}

bool ParseCount(const char* text, uint32_t& count) {
    std::string_view digits = text;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    return error == std::errc() && end == digits.data() + digits.size();
}

// What cannot be told from one option alone.
ParseOutcome CheckCombination(const DumpOptions& options) {
    if (int(options.listRecords) + int(options.diff) + int(options.extract != 0) > 1)
        return UsageError("--records, --diff and --extract exclude each other", {});
    if (options.json && !options.listRecords)
        return UsageError("--json goes only with --records", {});
    if (options.secondInput && !options.diff)
        return UsageError("more than one file given; the second is", options.secondInput);
    if (options.diff && !options.secondInput)
        return UsageError("--diff compares two files: A and B", {});
    if (options.diff && IsStandardInput(options.input) && IsStandardInput(options.secondInput))
        return UsageError("only one of the two files can be standard input", {});
    return PARSE_RUN;
}

bool ParseNumeration(std::string_view name, Numeration& mode) {
    for (const NumerationName& entry : NumerationNames) {
        if (name == entry.name) {
            mode = entry.mode;
            return true;
        }
    }
    return false;
}

} // namespace

ParseOutcome ParseDumpOptions(int argc, char** argv, DumpOptions& options) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        if (isOption && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!isOption) {
            if (options.secondInput)
                return UsageError("more than two files given; the third is", argument);
            (options.input ? options.secondInput : options.input) = argv[i];
            continue;
        }
        // "--name=value" and "-nvalue" carry their value; "--name value" and "-n value" take
        // the next argument.
        bool isLong = argument.starts_with("--");
        size_t attached = isLong ? argument.find('=') : 2;
        bool ambiguous = false;
        const OptionEntry* option = isLong ? FindLongOption(argument.substr(0, attached), ambiguous)
                                           : FindShortOption(argument);
        if (!option)
            return UsageError(ambiguous ? "ambiguous option" : "unknown option", argument);
        bool hasValue = attached < argument.size();
        const char* value = nullptr;
        if (hasValue && !option->takesValue)
            return UsageError(isLong ? "this option takes no value:" : "unknown option", argument);
        if (hasValue)
            value = argv[i] + attached + (isLong ? 1 : 0);
        else if (option->takesValue && i + 1 == argc)
            return UsageError("missing value for", argument);
        else if (option->takesValue)
            value = argv[++i];
        switch (option->id) {
        case OPTION_NUMERATION:
            if (!ParseNumeration(value, options.numeration))
                return UsageError("numeration must be multi, single or offset, not", value);
            break;
        case OPTION_OUTPUT:
            options.output = value;
            break;
        case OPTION_RECORDS:
            options.listRecords = true;
            break;
        case OPTION_JSON:
            options.json = true;
            break;
        case OPTION_DIFF:
            options.diff = true;
            break;
        case OPTION_CONTEXT:
            if (!ParseCount(value, options.context))
                return UsageError("the context must be a number of records, not", value);
            break;
        case OPTION_EXTRACT:
            if (!ParseCount(value, options.extract) || options.extract == 0)
                return UsageError("the record to extract must be a number from 1, not", value);
            break;
        case OPTION_HELP:
            return PARSE_HELP;
        case OPTION_VERSION:
            return PARSE_VERSION;
        }
    }
    return CheckCombination(options);
}

void PrintHelp(std::FILE* stream) {
    std::fputs(HelpText, stream);
}

bool IsStandardInput(const char* path) {
    return !path || std::string_view(path) == "-";
}
