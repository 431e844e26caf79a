// The record diff as data: random pairs of files whose records are letters, held against a
// longest common subsequence, the slide of each change and the grouping into hunks.
#include "dump/record_diff.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// The signature record, then one record per letter from 'a' on, each of its own tag.
Bytes FileOf(const std::string& letters) {
    const uint32_t sizes[] = {0, 5, 17, 32, 40};
    auto add = [](Bytes& file, uint32_t tag, const std::string& data) {
        for (uint32_t value : {tag, uint32_t(data.size())})
            for (int shift = 0; shift < 32; shift += 8)
                file.push_back((unsigned char)(value >> shift));
        file.insert(file.end(), data.begin(), data.end());
    };
    Bytes file;
    add(file, 0x00646F4D, "Module info file v2.0");
    for (char letter : letters) {
        int n = letter - 'a';
        add(file, 0x31000000u + uint32_t(n), std::string(sizes[n % 5], letter));
    }
    return file;
}

size_t LongestCommon(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> lcs(a.size() + 1, std::vector<size_t>(b.size() + 1, 0));
    for (size_t x = a.size(); x-- > 0;)
        for (size_t y = b.size(); y-- > 0;)
            lcs[x][y] =
                a[x] == b[y] ? lcs[x + 1][y + 1] + 1 : std::max(lcs[x + 1][y], lcs[x][y + 1]);
    return lcs[0][0];
}

// The records left unflagged, in order, and each run of flagged ones ending where its letters
// stop repeating.
std::string Kept(const std::string& letters, const std::vector<unsigned char>& flags) {
    std::string kept;
    for (size_t k = 0, run = 0; k < letters.size(); ++k) {
        run = flags[k] ? run + 1 : 0;
        if (!flags[k])
            kept += letters[k];
        else if (k + 1 < letters.size() && !flags[k + 1] && letters[k + 1] == letters[k + 1 - run])
            ADD_FAILURE() << "a change that could slide on at " << k;
    }
    return kept;
}

struct Diffed {
    std::string a, b; // "S" for the signature record, then the letters
    RecordChanges changes;
};

Diffed Diff(const std::string& a, const std::string& b) {
    Bytes fileA = FileOf(a), fileB = FileOf(b);
    RecordIndex indexA, indexB;
    Diffed diffed{"S" + a, "S" + b, {}};
    EXPECT_TRUE(indexA.Build(fileA.data(), uint32_t(fileA.size())) &&
                indexB.Build(fileB.data(), uint32_t(fileB.size())) &&
                DiffRecords(indexA, indexB, diffed.changes));
    return diffed;
}

// Hunks in order, apart by more than twice the context, each change inside one with at most
// `context` equal records around it, and blocks that tile each hunk.
void CheckHunks(const RecordChanges& changes, uint32_t context) {
    DiffHunks hunks(changes, context);
    uint32_t endA = 0, endB = 0, changed = 0;
    for (RecordRange hunk{}; hunks.Next(hunk);) {
        uint32_t gap = changes.EqualRun(endA, endB, UINT32_MAX);
        EXPECT_TRUE(hunk.firstA >= endA && hunk.firstA - endA == hunk.firstB - endB);
        EXPECT_TRUE(endA + gap == hunk.firstA + std::min(context, gap) &&
                    (endA == 0 || gap > context));
        std::vector<DiffBlock> blocks;
        for (uint32_t a = hunk.firstA, b = hunk.firstB; a < hunk.endA || b < hunk.endB;) {
            blocks.push_back(BlockAt(changes, hunk, a, b));
            const RecordRange& r = blocks.back().records;
            ASSERT_TRUE(r.endA > a || r.endB > b);
            uint32_t flagged = 0;
            for (uint32_t k = r.firstA; k < r.endA; ++k)
                flagged += changes.removed[k];
            for (uint32_t k = r.firstB; k < r.endB; ++k)
                flagged += changes.added[k];
            uint32_t records = r.endA - r.firstA + r.endB - r.firstB;
            EXPECT_EQ(flagged, blocks.back().changed ? records : 0);
            changed += flagged;
            a = r.endA, b = r.endB;
        }
        ASSERT_FALSE(blocks.empty());
        EXPECT_TRUE(!blocks.front().changed || hunk.firstA == endA + gap);
        for (const DiffBlock* edge : {&blocks.front(), &blocks.back()})
            EXPECT_TRUE(edge->changed || edge->records.endA - edge->records.firstA <= context);
        endA = hunk.endA, endB = hunk.endB;
    }
    uint32_t all = 0;
    for (unsigned char flag : changes.removed)
        all += flag;
    for (unsigned char flag : changes.added)
        all += flag;
    EXPECT_EQ(changed, all);
}

// Mostly small pairs, which must get a shortest script; every 40th is long and unlike, past the
// cost limit, where the script need only be right.
TEST(Diff, RandomPairsGetAScriptThatIsRightShortAndSlid) {
    std::mt19937 random(1);
    for (int round = 0; round < 400; ++round) {
        std::string a, b;
        for (std::string* letters : {&a, &b})
            for (uint32_t k = random() % (round % 40 ? 16 : 2000); k-- > 0;)
                *letters += char('a' + random() % 5);
        Diffed d = Diff(a, b);
        SCOPED_TRACE(d.a + " " + d.b);
        std::string kept = Kept(d.a, d.changes.removed);
        EXPECT_EQ(kept, Kept(d.b, d.changes.added));
        EXPECT_TRUE(round % 40 == 0 || kept.size() == LongestCommon(d.a, d.b));
        EXPECT_EQ(d.changes.Equal(), d.a == d.b);
        CheckHunks(d.changes, random() % 4);
    }
}

// Long files that share a core, a few of its records changed, and differ in hundreds of records
// found in one file only: the search on all records gives up at its bound, the one on the
// records both files have finds the shortest.
TEST(Diff, UnlikeEdgesAroundASharedCoreStillGetTheShortestScript) {
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
    Diffed d = Diff(a, b);
    std::string kept = Kept(d.a, d.changes.removed);
    EXPECT_EQ(kept, Kept(d.b, d.changes.added));
    EXPECT_EQ(kept.size(), LongestCommon(d.a, d.b));
}

// An inserted record joins a run of equal ones at its end, wherever the search found it.
TEST(Diff, ChangesSlideToTheEndOfARunOfEqualRecords) {
    auto flags = [](const std::vector<unsigned char>& changed) {
        std::string text;
        for (unsigned char flag : changed)
            text += char('0' + flag);
        return text;
    };
    for (const auto& [a, b, removed, added] :
         {std::tuple{"abbbc", "abbbbc", "000000", "0000010"},
          std::tuple{"abbbbc", "abbbc", "0000010", "000000"}, std::tuple{"aaaa", "", "01111", "0"},
          std::tuple{"cabab", "cababab", "000000", "00000011"}}) {
        Diffed d = Diff(a, b);
        EXPECT_EQ(flags(d.changes.removed), removed) << a << " " << b;
        EXPECT_EQ(flags(d.changes.added), added) << a << " " << b;
    }
}

} // namespace
