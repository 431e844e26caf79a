#include "cli/options.h"

#include <string_view>

namespace {

enum OptionId { OPTION_NUMERATION, OPTION_OUTPUT, OPTION_RECORDS, OPTION_HELP, OPTION_VERSION };

struct OptionSpec {
    std::string_view shortName; // empty when there is none
    std::string_view longName;
    OptionId id;
    bool takesValue;
};

constexpr OptionSpec OptionSpecs[] = {
    {"-n", "--numeration", OPTION_NUMERATION, true}, {"-o", "--output", OPTION_OUTPUT, true},
    {"", "--records", OPTION_RECORDS, false},        {"-h", "--help", OPTION_HELP, false},
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
    "\n"
    "Writes the dump of the module-info file FILE (standard input when FILE is - or\n"
    "absent) to standard output or OUT, byte for byte as the viewer shows it: lines of\n"
    "103 bytes ending in CR LF, with no terminator. A file that is too large, lacks the\n"
    "signature or has a broken record chain is refused and nothing is written.\n"
    "\n"
    "  -n, --numeration MODE  what the number column counts: multi (record number, and\n"
    "                         the sub-line in the size column; the default), single\n"
    "                         (running line number) or offset (file offset of the\n"
    "                         line's first data byte)\n"
    "  -o, --output OUT       write to OUT instead of standard output; an existing\n"
    "                         regular file OUT is replaced only once all is written\n"
    "      --records          list the records instead of dumping them\n"
    "  -h, --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "\n"
    "--records writes one line of 60 bytes per record, ending in LF:\n"
    "  columns  1-10  record number (the first record is 1), right-aligned\n"
    "          13-20  offset of the record in the file, 8 hexadecimal digits\n"
    "          23-33  the four tag bytes in file order, in hexadecimal\n"
    "          36-47  the tag name, 12 characters\n"
    "          50-59  the number of data bytes, right-aligned\n"
    "  for example\n"
    "         1  00000000  4D 6F 64 00  MI_SIGNATURE          32\n"
    "\n"
    "Exit status: 0 done, 1 file refused, 2 usage error, 3 input or output error.\n";

ParseOutcome UsageError(const char* message, std::string_view argument) {
    std::fprintf(stderr, "qefdump: %s '%.*s'\nTry 'qefdump --help'.\n", message,
                 int(argument.size()), argument.data());
    return PARSE_USAGE_ERROR;
}

const OptionSpec* FindOption(std::string_view name) {
    for (const OptionSpec& spec : OptionSpecs)
        if (name == spec.shortName || name == spec.longName)
            return &spec;
    return nullptr;
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
            if (options.input)
                return UsageError("more than one file given; the second is", argument);
            options.input = argv[i];
            continue;
        }
        // "--name=value" carries its value; "-n value" and "--name value" take the next one.
        size_t equals = argument.starts_with("--") ? argument.find('=') : argument.npos;
        const OptionSpec* spec = FindOption(argument.substr(0, equals));
        if (!spec)
            return UsageError("unknown option", argument);
        const char* value = nullptr;
        if (equals != argument.npos) {
            if (!spec->takesValue)
                return UsageError("this option takes no value:", argument);
            value = argv[i] + equals + 1;
        } else if (spec->takesValue) {
            if (i + 1 == argc)
                return UsageError("missing value for", argument);
            value = argv[++i];
        }
        switch (spec->id) {
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
        case OPTION_HELP:
            return PARSE_HELP;
        case OPTION_VERSION:
            return PARSE_VERSION;
        }
    }
    return PARSE_RUN;
}

void PrintHelp(std::FILE* stream) {
    std::fputs(HelpText, stream);
}
