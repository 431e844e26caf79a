// The option parser in-process: which mixes of options it takes, and as which task.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

namespace {

// Every mix of up to four of the options that choose or shape a task, with no file, one and two:
// the parser takes exactly the mixes that make sense, as the task they name, and refuses the rest.
TEST(Options, EveryMixOfTheOptionsThatChooseATaskIsTakenOrRefused) {
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
            for (int k = 0; k < Count; ++k)
                if (mix >> k & 1)
                    words.insert(words.end(), choices[k].begin(), choices[k].end());
            words.resize(words.size() + size_t(files), "f");
            auto has = [mix](int k) { return (mix >> k & 1) != 0; };
            bool records = has(0), json = has(1), diff = has(2), extract = has(3);
            bool numeration = has(4), context = has(5), find = has(6), stats = has(7);
            bool several = records || find || stats;
            bool sense = int(records) + int(diff) + int(extract) + int(find) + int(stats) <= 1 &&
                         (!json || several) && (!context || diff) &&
                         (!numeration || !(records || extract || stats || (find && json))) &&
                         (!has(8) || !(diff || extract)) &&
                         (!has(9) || !(several || diff || extract)) && (!has(10) || find) &&
                         (diff ? files == 2 : several || files <= 1);
            std::vector<char*> argv(words.size());
            for (size_t k = 0; k < words.size(); ++k)
                argv[k] = words[k].data();
            DumpOptions options;
            ::testing::internal::CaptureStderr();
            ParseOutcome outcome = ParseDumpOptions(int(argv.size()), argv.data(), options);
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
