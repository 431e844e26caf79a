#include "cli/option_table.h"

namespace {

constexpr OptionEntry OptionTable[] = {
    {"-n", "--numeration", OPTION_NUMERATION, true},
    {"-o", "--output", OPTION_OUTPUT, true},
    {"", "--records", OPTION_RECORDS, false},
    {"", "--json", OPTION_JSON, false},
    {"", "--diff", OPTION_DIFF, false},
    {"-U", "--context", OPTION_CONTEXT, true},
    {"", "--extract", OPTION_EXTRACT, true},
    {"", "--help", OPTION_HELP, false},
    {"", "--version", OPTION_VERSION, false},
    {"", "--find", OPTION_FIND, true, true},
    {"", "--find-hex", OPTION_FIND_HEX, true, true},
    {"-i", "--ignore-case", OPTION_IGNORE_CASE, false},
    {"", "--utf16", OPTION_UTF16, false},
    {"", "--record", OPTION_RECORD, true, true},
    {"", "--tag", OPTION_TAG, true, true},
    {"", "--stats", OPTION_STATS, false},
    {"", "--lf", OPTION_LF, false},
    {"-c", "--count", OPTION_COUNT_HITS, false},
    {"-l", "--files-with-matches", OPTION_FILES_WITH, false},
    {"-L", "--files-without-match", OPTION_FILES_WITHOUT, false},
    {"-q", "--quiet", OPTION_QUIET, false},
    {"-m", "--max-count", OPTION_MAX_COUNT, true},
    {"-H", "--with-filename", OPTION_WITH_NAME, false},
    {"-h", "--no-filename", OPTION_NO_NAME, false},
    {"", "--null", OPTION_NULL, false},
    {"", "--color", OPTION_COLOR, true},
    {"", "--salvage", OPTION_SALVAGE, false},
    {"", "--repair", OPTION_REPAIR, false},
    {"", "--signature", OPTION_SIGNATURE, true},
    {"-r", "--recursive", OPTION_RECURSIVE, false},
    {"", "--threads", OPTION_THREADS, true},
};

} // namespace

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
