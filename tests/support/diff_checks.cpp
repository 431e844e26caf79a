#include "tests/support/checks.h"

#include <algorithm>
#include <vector>

namespace {

// Each record as its bytes, header included: equal strings are equal records.
std::vector<std::string> RecordsOf(const RecordIndex& file) {
    std::vector<std::string> records;
    for (uint32_t k = 0; k < file.Count(); ++k)
        records.emplace_back(reinterpret_cast<const char*>(file.Data()) + file.Offset(k),
                             file.Bytes(k));
    return records;
}

size_t LongestCommon(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<size_t> next(b.size() + 1, 0), row(b.size() + 1, 0);
    for (size_t x = a.size(); x-- > 0; std::swap(next, row))
        for (size_t y = b.size(); y-- > 0;)
            row[y] = a[x] == b[y] ? next[y + 1] + 1 : std::max(next[y], row[y + 1]);
    return next[0];
}

// The records left unflagged, in order; notes a run of flagged ones that could slide on.
std::vector<std::string> Kept(const std::vector<std::string>& records,
                              const std::vector<unsigned char>& flags, Problems& problems) {
    std::vector<std::string> kept;
    for (size_t k = 0, run = 0; k < records.size(); ++k) {
        run = flags[k] ? run + 1 : 0;
        if (!flags[k])
            kept.push_back(records[k]);
        else if (k + 1 < records.size() && !flags[k + 1])
            problems.Expect(records[k + 1] != records[k + 1 - run],
                            "a change that could slide on at " + std::to_string(k));
    }
    return kept;
}

// Hunks in order, apart, each change inside one with at most `context` equal records around
// it, and blocks that tile each hunk and flag what they say.
void CheckHunks(const RecordChanges& changes, uint32_t context, Problems& problems) {
    DiffHunks hunks(changes, context);
    uint32_t endA = 0, endB = 0, changed = 0, all = 0;
    for (RecordRange hunk{}; hunks.Next(hunk);) {
        uint32_t gap = changes.EqualRun(endA, endB, UINT32_MAX);
        problems.Expect(hunk.firstA >= endA && hunk.firstA - endA == hunk.firstB - endB &&
                            endA + gap == hunk.firstA + std::min(context, gap) &&
                            (endA == 0 || gap > context),
                        "a hunk's place");
        DiffBlock first{}, last{};
        for (uint32_t a = hunk.firstA, b = hunk.firstB; a < hunk.endA || b < hunk.endB;) {
            last = BlockAt(changes, hunk, a, b);
            const RecordRange& r = last.records;
            if (a == hunk.firstA && b == hunk.firstB)
                first = last;
            if (r.endA == a && r.endB == b)
                return problems.Expect(false, "an empty block");
            uint32_t flagged = 0;
            for (uint32_t k = r.firstA; k < r.endA; ++k)
                flagged += changes.removed[k];
            for (uint32_t k = r.firstB; k < r.endB; ++k)
                flagged += changes.added[k];
            problems.Expect(flagged == (last.changed ? r.endA - a + r.endB - b : 0) &&
                                (last.changed || r.endA - a == r.endB - b),
                            "a block's flags");
            changed += flagged;
            a = r.endA, b = r.endB;
        }
        for (const DiffBlock* edge : {&first, &last})
            problems.Expect(edge->changed || edge->records.endA - edge->records.firstA <= context,
                            "the context around a hunk");
        endA = hunk.endA, endB = hunk.endB;
    }
    for (const std::vector<unsigned char>* flags : {&changes.removed, &changes.added})
        for (unsigned char flag : *flags)
            all += flag;
    problems.Expect(changed == all, "every change in a hunk");
}

} // namespace

std::string CheckDiff(const RecordIndex& a, const RecordIndex& b, uint32_t context, bool shortest) {
    Problems problems;
    RecordChanges changes;
    if (!DiffRecords(a, b, changes))
        return "no memory for the diff";
    std::vector<std::string> recordsA = RecordsOf(a), recordsB = RecordsOf(b);
    if (changes.removed.size() != recordsA.size() || changes.added.size() != recordsB.size())
        return "a flag per record; ";
    std::vector<std::string> kept = Kept(recordsA, changes.removed, problems);
    problems.Expect(kept == Kept(recordsB, changes.added, problems),
                    "the kept records pair up equal");
    problems.Expect(!shortest || kept.size() == LongestCommon(recordsA, recordsB),
                    "as short as can be");
    problems.Expect(changes.Equal() == (recordsA == recordsB), "equal exactly when alike");
    CheckHunks(changes, context, problems);
    return problems.found;
}
