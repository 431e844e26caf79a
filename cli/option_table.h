// The options qefdump knows, by their short and long names.
#pragma once

#include <string_view>

enum OptionId {
    OPTION_NUMERATION,
    OPTION_OUTPUT,
    OPTION_RECORDS,
    OPTION_JSON,
    OPTION_DIFF,
    OPTION_CONTEXT,
    OPTION_EXTRACT,
    OPTION_HELP,
    OPTION_VERSION,
    OPTION_FIND,
    OPTION_FIND_HEX,
    OPTION_IGNORE_CASE,
    OPTION_UTF16,
    OPTION_RECORD,
    OPTION_TAG,
    OPTION_STATS,
    OPTION_LF,
    OPTION_COUNT_HITS,
    OPTION_FILES_WITH,
    OPTION_FILES_WITHOUT,
    OPTION_QUIET,
    OPTION_MAX_COUNT,
    OPTION_WITH_NAME,
    OPTION_NO_NAME,
    OPTION_NULL,
    OPTION_COLOR,
    OPTION_SALVAGE,
    OPTION_REPAIR,
    OPTION_SIGNATURE,
    OPTION_RECURSIVE,
    OPTION_THREADS,
    OPTION_COUNT
};

struct OptionEntry {
    std::string_view shortName; // empty when there is none
    std::string_view longName;
    OptionId id;
    bool takesValue;
    bool repeats = false; // each value adds to the others; any other value option is given once
};

// An exact name, or the one long name that begins with `name`; null when there is none or
// `ambiguous` is set.
const OptionEntry* FindLongOption(std::string_view name, bool& ambiguous);
// The option whose short name `name` starts with (its value may be attached); null for none.
const OptionEntry* FindShortOption(std::string_view name);
