// The option parser in-process: which mixes of options it takes, and as which task.
#include "tests/cli/cli_testing.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <set>

namespace {

// A form of the help's usage lines: the options it needs and all it allows, and its files.
struct Form {
    std::set<std::string> needed, allowed;
    size_t leastFiles = 0, mostFiles = 0;
};

// The forms as --help writes them: an option in brackets is allowed, out of them needed; SELECT
// stands for --record and --tag, which (as the help adds) --records takes, with several FILEs.
std::vector<Form> UsageForms() {
    ::testing::internal::CaptureStdout();
    PrintHelp(stdout);
    std::string help = ::testing::internal::GetCapturedStdout();
    std::istringstream usage(help.substr(0, help.find("\n  where SELECT is")));
    std::vector<Form> forms;
    int depth = 0;
    for (std::string word; usage >> word;) {
        if (word == "qefdump")
            forms.emplace_back();
        if (forms.empty()) // "usage:"
            continue;
        Form& form = forms.back();
        if (word.find("FILE") != word.npos)
            form.mostFiles = word.find("...") != word.npos ? SIZE_MAX : 1;
        if (word == "A" || word == "B")
            form.leastFiles = form.mostFiles = 2;
        depth += int(std::count(word.begin(), word.end(), '['));
        std::istringstream pieces(word);
        for (std::string piece; std::getline(pieces, piece, '|');) {
            piece.erase(0, piece.find_first_not_of('['));
            if (piece.starts_with("-") && !depth)
                form.needed.insert(piece);
            if (piece.starts_with("-"))
                form.allowed.insert(piece.substr(0, piece.find(']')));
            if (piece.starts_with("SELECT") || (piece == "--records" && !depth))
                form.allowed.insert({"--record", "--tag"});
        }
        if (form.needed.contains("--records"))
            form.mostFiles = SIZE_MAX;
        depth -= int(std::count(word.begin(), word.end(), ']'));
    }
    return forms;
}

// Every mix of up to four of the options that choose or shape a task, with no file, one and two:
// the parser takes exactly the mixes that a form of the help allows, as the task they name, and
// refuses the rest. The help adds that an option that does nothing is refused: -n with --json,
// whose objects have no number column.
TEST(Options, EveryMixOfTheOptionsThatChooseATaskIsTakenOrRefused) {
    const std::vector<Form> forms = UsageForms();
    ASSERT_GE(forms.size(), 8u);
    const std::vector<std::string> choices[] = {
        {"--records"},     {"--json"},  {"--diff"},      {"--extract", "1"},
        {"-n", "single"},  {"-U", "2"}, {"--find", "x"}, {"--stats"},
        {"--record", "1"}, {"--lf"},    {"-i"}};
    constexpr int Count = int(std::size(choices));
    for (int mix = 0; mix < 1 << Count; ++mix) {
        if (std::popcount(unsigned(mix)) > 4) // every rule is about three options at most
            continue;
        for (int files = 0; files <= 2; ++files) {
            std::vector<std::string> words = {"qefdump"};
            std::set<std::string> given;
            for (int k = 0; k < Count; ++k)
                if (mix >> k & 1) {
                    words.insert(words.end(), choices[k].begin(), choices[k].end());
                    given.insert(choices[k][0]);
                }
            words.resize(words.size() + size_t(files), "f");
            auto has = [mix](int k) { return (mix >> k & 1) != 0; };
            bool records = has(0), json = has(1), diff = has(2), extract = has(3);
            bool numeration = has(4), context = has(5), find = has(6), stats = has(7);
            auto allows = [&](const Form& f) {
                return std::includes(given.begin(), given.end(), f.needed.begin(),
                                     f.needed.end()) &&
                       std::includes(f.allowed.begin(), f.allowed.end(), given.begin(),
                                     given.end()) &&
                       size_t(files) >= f.leastFiles && size_t(files) <= f.mostFiles;
            };
            bool sense = !(numeration && json) && std::any_of(forms.begin(), forms.end(), allows);
            DumpOptions options;
            ::testing::internal::CaptureStderr();
            ParseOutcome outcome = Parse(words, options);
            std::string said = ::testing::internal::GetCapturedStderr();
            SCOPED_TRACE(::testing::Message() << mix << " " << files << ": " << said);
            ASSERT_EQ(outcome, sense ? PARSE_RUN : PARSE_USAGE_ERROR);
            EXPECT_EQ(said.empty(), sense);
            Task task = diff      ? TASK_DIFF
                        : extract ? TASK_EXTRACT
                        : find    ? (json ? TASK_FIND_JSON : TASK_FIND)
                        : stats   ? (json ? TASK_STATS_JSON : TASK_STATS)
                        : json    ? TASK_RECORDS_JSON
                        : records ? TASK_RECORDS
                                  : TASK_DUMP;
            EXPECT_TRUE(!sense || (options.task == task && options.record == uint32_t(extract) &&
                                   options.context == uint32_t(context ? 2 : 1) &&
                                   (options.numeration == NUMERATION_SINGLE) == numeration &&
                                   options.selected == has(8) && options.lineFeeds == has(9) &&
                                   options.query.patterns.size() == size_t(find)));
        }
    }
}

} // namespace
