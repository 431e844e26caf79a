// The record diff as data: pairs of files whose records are letters, held against the rules
// every diff keeps (tests/support/checks.h), a change's place in a run of equal records included.
#include "tests/support/checks.h"
#include "tools/sample_files.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// The signature record, then one record per letter from 'a' on, each of its own tag.
Bytes FileOf(const std::string& letters) {
    const uint32_t sizes[] = {0, 5, 17, 32, 40};
    Bytes file = SignatureFile();
    for (char letter : letters)
        AppendRecord(file, 0x31000000u + uint32_t(letter - 'a'),
                     std::string(sizes[(letter - 'a') % 5], letter));
    return file;
}

struct Pair {
    Bytes files[2];
    RecordIndex indexes[2];

    Pair(Bytes a, Bytes b) : files{std::move(a), std::move(b)} {
        for (int k = 0; k < 2; ++k)
            EXPECT_TRUE(indexes[k].Build(files[k].data(), uint32_t(files[k].size())));
    }
    Pair(const std::string& a, const std::string& b) : Pair(FileOf(a), FileOf(b)) {}
};

// Mostly small pairs, which must get a shortest script; every 40th is long and unlike, past the
// cost limit, where the script need only be right, and be the same on every build: the bounds
// count steps, not time, so that the output does not depend on the machine.
TEST(Diff, RandomPairsGetAScriptThatIsRightShortAndSlid) {
    std::mt19937 random(1);
    uint64_t unlike = 0xCBF29CE484222325ull; // FNV-1a of the long pairs' flags
    for (int round = 0; round < 400; ++round) {
        std::string a, b;
        for (std::string* letters : {&a, &b})
            for (uint32_t k = random() % (round % 40 ? 16 : 2000); k-- > 0;)
                *letters += char('a' + random() % 5);
        Pair pair(a, b);
        EXPECT_EQ(CheckDiff(pair.indexes[0], pair.indexes[1], random() % 4, round % 40 != 0), "")
            << a << " " << b;
        RecordChanges changes;
        if (round % 40 == 0 && DiffRecords(pair.indexes[0], pair.indexes[1], changes))
            for (const auto* flags : {&changes.removed, &changes.added})
                for (unsigned char flag : *flags)
                    unlike = (unlike ^ flag) * 0x100000001B3ull;
    }
    EXPECT_EQ(unlike, 0x5522540E7ABCF18Eull);
}

// Long files that share a core, a few of its records changed, and differ in hundreds of records
// found in one file only: the search on all records gives up at its bound, the one on the
// records both files have finds the shortest. Then files of distinct records, 200 shared and
// about 1,000 of each file's own, which that search must tell apart one by one.
TEST(Diff, UnlikeRecordsAroundASharedCoreStillGetTheShortestScript) {
    std::string a, b;
    std::mt19937 random(2);
    for (int k = 0; k < 3000; ++k) {
        char letter = char('a' + random() % 5);
        if (random() % 4 == 0)
            a += 'f';
        if (random() % 4 == 0)
            b += 'g';
        a += letter;
        b += k % 150 ? letter : char('a' + (letter - 'a' + 1) % 5);
    }
    Pair pair(a, b);
    EXPECT_EQ(CheckDiff(pair.indexes[0], pair.indexes[1], 1, true), "");
    Bytes files[2] = {SignatureFile(), SignatureFile()};
    for (uint32_t k = 0; k < 2200; ++k)
        for (uint32_t side = 0; side < 2; ++side)
            if (k % 11 == 0 || k % 2 == side)
                AppendRecord(files[side], 0x31000000u + k, std::string(k % 7, 'x'));
    Pair distinct(files[0], files[1]);
    EXPECT_EQ(CheckDiff(distinct.indexes[0], distinct.indexes[1], 1, true), "");
}

} // namespace
