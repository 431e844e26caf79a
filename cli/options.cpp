#include "cli/options.h"

#include "cli/option_table.h"
#include "cli/quote.h"
#include "cli/win32_text.h"
#include "dump/salvage_text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

// grep's ways to report a search, in the order of HitReport from REPORT_COUNT on.
constexpr OptionId ReportOptions[] = {OPTION_COUNT_HITS, OPTION_FILES_WITH, OPTION_FILES_WITHOUT,
                                      OPTION_QUIET};

struct NumerationName {
    std::string_view name;
    Numeration mode;
};

constexpr NumerationName NumerationNames[] = {
    {"multi", NUMERATION_MULTI},
    {"single", NUMERATION_SINGLE},
    {"offset", NUMERATION_OFFSET},
};

constexpr TaskRule TaskRules[] = {
    {TASK_DUMP, "the dump", true, false, 1},
    {TASK_RECORDS, "--records", false, false, AnyNumber},
    {TASK_RECORDS_JSON, "--records --json", false, false, AnyNumber},
    {TASK_EXTRACT, "--extract", false, false, 1},
    {TASK_DIFF, "--diff", true, true, 2},
    {TASK_FIND, "--find", true, false, AnyNumber},
    {TASK_FIND_JSON, "--find --json", false, false, AnyNumber},
    {TASK_STATS, "--stats", false, false, AnyNumber},
    {TASK_STATS_JSON, "--stats --json", false, false, AnyNumber},
    {TASK_REPAIR, "--repair", false, false, 1},
};

// The options that shape a task, and the tasks they go with.
constexpr unsigned TaskBit(Task task) {
    return 1u << task;
}
constexpr unsigned FindTasks = TaskBit(TASK_FIND) | TaskBit(TASK_FIND_JSON);
constexpr unsigned SeveralFileTasks = TaskBit(TASK_RECORDS) | TaskBit(TASK_RECORDS_JSON) |
                                      FindTasks | TaskBit(TASK_STATS) | TaskBit(TASK_STATS_JSON);
constexpr unsigned SelectingTasks =
    TaskBit(TASK_DUMP) | TaskBit(TASK_RECORDS) | TaskBit(TASK_RECORDS_JSON) | TaskBit(TASK_FIND) |
    TaskBit(TASK_FIND_JSON) | TaskBit(TASK_STATS) | TaskBit(TASK_STATS_JSON);

struct ShapeRule {
    OptionId option;
    const char* message;
    unsigned tasks;
};

constexpr ShapeRule ShapeRules[] = {
    {OPTION_RECORD, "--record goes only with the dump, --records, --find and --stats",
     SelectingTasks},
    {OPTION_TAG, "--tag goes only with the dump, --records, --find and --stats", SelectingTasks},
    {OPTION_LF, "--lf goes only with the dump", TaskBit(TASK_DUMP)},
    {OPTION_COUNT_HITS, "--count goes only with --find, without --json", TaskBit(TASK_FIND)},
    {OPTION_FILES_WITH, "-l goes only with --find, without --json", TaskBit(TASK_FIND)},
    {OPTION_FILES_WITHOUT, "-L goes only with --find, without --json", TaskBit(TASK_FIND)},
    {OPTION_QUIET, "--quiet goes only with --find, without --json", TaskBit(TASK_FIND)},
    {OPTION_MAX_COUNT, "--max-count goes only with --find", FindTasks},
    {OPTION_WITH_NAME, "-H goes only with --records, --find and --stats", SeveralFileTasks},
    {OPTION_NO_NAME, "-h goes only with --records, --find and --stats", SeveralFileTasks},
    {OPTION_NULL, "--null goes only with --records, --find and --stats", SeveralFileTasks},
    {OPTION_RECURSIVE, "--recursive goes only with --records, --find and --stats",
     SeveralFileTasks},
    {OPTION_THREADS, "--threads goes only with --records, --find and --stats", SeveralFileTasks},
    {OPTION_COLOR, "--color goes only with --find, without --json", TaskBit(TASK_FIND)},
};

ParseOutcome UsageError(const char* message) {
    std::fprintf(stderr, "qefdump: %s\nTry 'qefdump --help'.\n", message);
    return PARSE_USAGE_ERROR;
}

// "qefdump: " and `message`, then `argument` in quotes.
ParseOutcome UsageError(const char* message, std::string_view argument) {
    WriteText(stderr, "qefdump: " + std::string(message) + " " + MessageName(argument, true) +
                          "\nTry 'qefdump --help'.\n");
    return PARSE_USAGE_ERROR;
}

// A decimal number that fits 32 bits; `tooLarge` tells a long one from no number.
bool ParseCount(std::string_view digits, uint32_t& count, bool& tooLarge) {
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    tooLarge = error == std::errc::result_out_of_range;
    return error == std::errc() && end == digits.data() + digits.size();
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

// The signature text --signature names: "v2.0" or "v1.1"; null for anything else.
const char* SignatureText(std::string_view version) {
    for (std::string_view text : SignatureTexts)
        if (version.size() == 4 && version[0] == 'v' && text.ends_with(version))
            return text.data();
    return nullptr;
}

// The texts of --find and the bytes of --find-hex in the order given, made a query once -i and
// --utf16 are known.
struct GivenPattern {
    bool hex;
    std::string_view value;
};
std::vector<GivenPattern> givenPatterns;

// The option's value into `options`; a usage error when it is not one.
ParseOutcome TakeValue(OptionId id, const char* value, DumpOptions& options) {
    bool tooLarge = false;
    switch (id) {
    case OPTION_NUMERATION:
        if (!ParseNumeration(value, options.numeration))
            return UsageError("numeration must be multi, single or offset, not", value);
        break;
    case OPTION_OUTPUT:
        if (*value == '\0')
            return UsageError("the output file name is empty");
        options.output = std::string_view(value) == "-" ? nullptr : value;
        break;
    case OPTION_CONTEXT:
        if (!ParseCount(value, options.context, tooLarge))
            return UsageError(tooLarge ? "the context is too large:"
                                       : "the context must be a number of records, not",
                              value);
        break;
    case OPTION_EXTRACT:
        if (!ParseCount(value, options.record, tooLarge) || options.record == 0)
            return UsageError(tooLarge ? "the record to extract is too large:"
                                       : "the record to extract must be a number from 1, not",
                              value);
        break;
    case OPTION_FIND:
        if (*value == '\0')
            return UsageError("the text to find is empty");
        givenPatterns.push_back({false, value});
        break;
    case OPTION_FIND_HEX:
        if (SearchQuery hex; !ParseHexPattern(value, hex))
            return UsageError("the bytes to find must be pairs of hexadecimal digits, not", value);
        givenPatterns.push_back({true, value});
        break;
    case OPTION_MAX_COUNT: {
        uint32_t most = 0;
        if (!ParseCount(value, most, tooLarge) && !tooLarge)
            return UsageError("--max-count must be a number of hits, not", value);
        options.mostHits = tooLarge ? UINT64_MAX : most;
        break;
    }
    case OPTION_COLOR: {
        constexpr std::string_view Choices[] = {"never", "always", "auto"}; // as ColorChoice
        auto choice = std::find(std::begin(Choices), std::end(Choices), value);
        if (choice == std::end(Choices))
            return UsageError("--color must be auto, always or never, not", value);
        options.color = ColorChoice(choice - std::begin(Choices));
        break;
    }
    case OPTION_THREADS: {
        uint32_t threads = 0;
        if (!ParseCount(value, threads, tooLarge) || threads == 0 || threads > 256)
            return UsageError("--threads must be a number from 1 to 256, not", value);
        options.threads = threads;
        break;
    }
    case OPTION_RECORD:
        if (!ParseRecordRanges(value, options.selection))
            return UsageError("--record takes numbers from 1 and ranges N-M, N- or -M, split by "
                              "commas, not",
                              value);
        options.selected = true;
        break;
    case OPTION_SIGNATURE:
        options.signature = SignatureText(value);
        if (!options.signature)
            return UsageError("--signature takes v2.0 or v1.1, not", value);
        break;
    case OPTION_TAG:
        if (!ParseTagChoice(value, options.selection))
            return UsageError("--tag takes a tag's name or its 8 hexadecimal digits, not", value);
        options.selected = true;
        break;
    default:
        break;
    }
    return PARSE_RUN;
}

// How many of the files are standard input.
int StandardInputs(const DumpOptions& options) {
    int count = 0;
    for (const char* path : options.inputs)
        count += IsStandardInput(path);
    return count;
}

// The options that shape the search, the selection and the line ends, against the task.
ParseOutcome CheckShape(const bool (&given)[OPTION_COUNT], DumpOptions& options) {
    for (const ShapeRule& rule : ShapeRules)
        if (given[rule.option] && !(rule.tasks & TaskBit(options.task)))
            return UsageError(rule.message);
    options.lineFeeds = given[OPTION_LF];
    int reports = 0;
    for (size_t k = 0; k < std::size(ReportOptions); ++k)
        if (given[ReportOptions[k]] && ++reports)
            options.report = HitReport(REPORT_COUNT + k);
    if (reports > 1)
        return UsageError("--count, -l, -L and --quiet exclude each other");
    if (given[OPTION_WITH_NAME] && given[OPTION_NO_NAME])
        return UsageError("-H and -h exclude each other");
    options.names = given[OPTION_WITH_NAME] ? 1 : given[OPTION_NO_NAME] ? 0 : -1;
    options.afterName = given[OPTION_NULL] ? '\0' : ':';
    options.recursive = given[OPTION_RECURSIVE];
    if ((given[OPTION_IGNORE_CASE] || given[OPTION_UTF16]) && !given[OPTION_FIND])
        return UsageError("--ignore-case and --utf16 go only with --find");
    for (uint32_t k = 0; k < givenPatterns.size(); ++k) {
        auto [hex, value] = givenPatterns[k];
        SearchQuery one;
        if (hex)
            ParseHexPattern(value, one); // taken already
        else if (!MakeTextQuery(value, given[OPTION_IGNORE_CASE], given[OPTION_UTF16], one))
            return UsageError("with --utf16 the text to find must be UTF-8, not", value);
        for (SearchPattern& pattern : one.patterns) {
            pattern.given = k;
            options.query.patterns.push_back(std::move(pattern));
        }
    }
    if (StandardInputs(options) > 1)
        return UsageError("only one of the files can be standard input");
    return PARSE_RUN;
}

// --salvage shows one whole file, in the dump, the record list, the search or the statistics;
// --repair
// writes one to OUT.
ParseOutcome CheckSalvage(const bool (&given)[OPTION_COUNT], DumpOptions& options) {
    bool repair = options.task == TASK_REPAIR;
    options.salvage = given[OPTION_SALVAGE] || repair;
    if (given[OPTION_SIGNATURE] && !repair)
        return UsageError("--signature goes only with --repair");
    unsigned salvaging = TaskBit(TASK_DUMP) | TaskBit(TASK_RECORDS) | TaskBit(TASK_RECORDS_JSON) |
                         TaskBit(TASK_FIND) | TaskBit(TASK_FIND_JSON) | TaskBit(TASK_STATS) |
                         TaskBit(TASK_STATS_JSON) | TaskBit(TASK_REPAIR);
    if (given[OPTION_SALVAGE] && !(salvaging & TaskBit(options.task)))
        return UsageError(
            "--salvage goes only with the dump, --records, --find, --stats and --repair");
    if (options.salvage && given[OPTION_RECURSIVE])
        return UsageError("--salvage and --repair read one file: no -r");
    if (options.salvage && options.inputs.size() > 1)
        return UsageError("--salvage and --repair read one file; the second is", options.inputs[1]);
    if (options.salvage && (given[OPTION_RECORD] || given[OPTION_TAG] || given[OPTION_LF]))
        return UsageError("--salvage and --repair take the whole file: no --record, --tag or --lf");
    // The salvaged search lists its hits, damaged ones among them, and nothing else.
    for (OptionId grep :
         {OPTION_COUNT_HITS, OPTION_FILES_WITH, OPTION_FILES_WITHOUT, OPTION_QUIET,
          OPTION_MAX_COUNT, OPTION_WITH_NAME, OPTION_NO_NAME, OPTION_NULL, OPTION_COLOR})
        if (options.salvage && given[grep])
            return UsageError("--salvage lists every hit: no -c, -l, -L, -q, -m, -H, -h, --null "
                              "or --color");
    return PARSE_RUN;
}

// The task the mode options name, and whether the other options and the files fit it.
ParseOutcome ChooseTask(const bool (&given)[OPTION_COUNT], int files, DumpOptions& options) {
    bool find = given[OPTION_FIND] || given[OPTION_FIND_HEX];
    if (int(given[OPTION_RECORDS]) + int(given[OPTION_DIFF]) + int(given[OPTION_EXTRACT]) +
            int(find) + int(given[OPTION_STATS]) + int(given[OPTION_REPAIR]) >
        1)
        return UsageError(
            "--records, --diff, --extract, --find, --stats and --repair exclude each other");
    if (given[OPTION_JSON] && !given[OPTION_RECORDS] && !find && !given[OPTION_STATS])
        return UsageError("--json goes only with --records, --find and --stats");
    bool json = given[OPTION_JSON];
    options.task = given[OPTION_REPAIR]    ? TASK_REPAIR
                   : given[OPTION_DIFF]    ? TASK_DIFF
                   : given[OPTION_EXTRACT] ? TASK_EXTRACT
                   : find                  ? (json ? TASK_FIND_JSON : TASK_FIND)
                   : given[OPTION_STATS]   ? (json ? TASK_STATS_JSON : TASK_STATS)
                   : json                  ? TASK_RECORDS_JSON
                   : given[OPTION_RECORDS] ? TASK_RECORDS
                                           : TASK_DUMP;
    const TaskRule& rule = TaskList()[options.task];
    if (given[OPTION_CONTEXT] && !rule.context)
        return UsageError("--context goes only with --diff");
    if (given[OPTION_NUMERATION] && !rule.numeration)
        return UsageError("--numeration does nothing with", rule.name);
    if (files > rule.files)
        return rule.files == 2
                   ? UsageError("more than two files given; the third is", options.inputs[2])
                   : UsageError("more than one file given; the second is", options.inputs[1]);
    if (files < rule.files && rule.task == TASK_DIFF)
        return UsageError("--diff compares two files: A and B");
    if (rule.files == 2 && IsStandardInput(options.inputs[0]) && IsStandardInput(options.inputs[1]))
        return UsageError("only one of the two files can be standard input");
    if (ParseOutcome salvage = CheckSalvage(given, options); salvage != PARSE_RUN)
        return salvage;
    return CheckShape(given, options);
}

} // namespace

std::span<const TaskRule> TaskList() {
    return TaskRules;
}

ParseOutcome ParseDumpOptions(int argc, char** argv, DumpOptions& options) {
    static_assert(std::size(TaskRules) == TASK_REPAIR + 1);
    givenPatterns.clear();
    bool given[OPTION_COUNT] = {};
    bool optionsEnded = false;
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        if (isOption && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!isOption) {
            if (argument.empty())
                return UsageError("a file name is empty");
            options.inputs.push_back(argv[i]);
            ++files;
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
        if (hasValue && !option->takesValue)
            return UsageError(isLong ? "this option takes no value:" : "unknown option", argument);
        if (!hasValue && option->takesValue && i + 1 == argc)
            return UsageError("missing value for", argument);
        const char* value = !option->takesValue ? nullptr
                            : hasValue          ? argv[i] + attached + (isLong ? 1 : 0)
                                                : argv[++i];
        if (option->id == OPTION_HELP)
            return PARSE_HELP;
        if (option->id == OPTION_VERSION)
            return PARSE_VERSION;
        if (given[option->id] && option->takesValue && !option->repeats)
            return UsageError("this option is given twice:", argument);
        given[option->id] = true;
        if (value && TakeValue(option->id, value, options) == PARSE_USAGE_ERROR)
            return PARSE_USAGE_ERROR;
    }
    return ChooseTask(given, files, options);
}

bool IsStandardInput(const char* path) {
    return !path || std::string_view(path) == "-";
}
