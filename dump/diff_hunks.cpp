#include "dump/diff_hunks.h"

#include <algorithm>
#include <cstring>

bool DiffHunks::Next(RecordRange& hunk) {
    const RecordChanges& c = changes_;
    uint32_t run = c.EqualRun(a_, b_, UINT32_MAX);
    uint32_t a = a_ + run, b = b_ + run;
    if (a == c.removed.size() && b == c.added.size())
        return false;
    uint32_t lead = std::min(context_, a - a_); // not into the hunk before
    hunk = {a - lead, a, b - lead, b};
    for (;;) { // through the changes that lie closer than twice the context
        while (hunk.endA < c.removed.size() && c.removed[hunk.endA])
            ++hunk.endA;
        while (hunk.endB < c.added.size() && c.added[hunk.endB])
            ++hunk.endB;
        uint64_t join = uint64_t(context_) * 2;
        uint32_t gap = c.EqualRun(hunk.endA, hunk.endB, join + 1);
        bool last = gap > join || !c.Changed(hunk.endA + gap, hunk.endB + gap);
        uint32_t step = last ? std::min(gap, context_) : gap;
        hunk.endA += step, hunk.endB += step;
        if (last)
            break;
    }
    a_ = hunk.endA, b_ = hunk.endB;
    return true;
}

DiffBlock BlockAt(const RecordChanges& changes, const RecordRange& hunk, uint32_t a, uint32_t b) {
    uint32_t equal = changes.EqualRun(a, b, hunk.endA - a);
    if (equal > 0)
        return {false, {a, a + equal, b, b + equal}};
    DiffBlock block{true, {a, a, b, b}};
    while (block.records.endA < hunk.endA && changes.removed[block.records.endA])
        ++block.records.endA;
    while (block.records.endB < hunk.endB && changes.added[block.records.endB])
        ++block.records.endB;
    return block;
}

bool HunkBlocks::Next(DiffBlock& block) {
    if (a_ == hunk_.endA && b_ == hunk_.endB)
        return false;
    block = BlockAt(changes_, hunk_, a_, b_);
    a_ = block.records.endA, b_ = block.records.endB;
    return true;
}

bool SameDumpText(const Record& one, const Record& other, Numeration mode) {
    return NumberOfFirstLine(one, mode) == NumberOfFirstLine(other, mode) &&
           one.size == other.size && LookupTagName(one.tag) == LookupTagName(other.tag) &&
           std::memcmp(one.data, other.data, one.size) == 0;
}

std::string RecordsText(uint32_t first, uint32_t end) {
    using std::to_string;
    if (first == end)
        return "none";
    return end - first == 1 ? to_string(end) : to_string(first + 1) + "-" + to_string(end);
}

namespace {

// Dump lines as a diff shows them, at most `most` of them.
class MarkedLines final : public DumpLineSink {
  public:
    MarkedLines(MarkedLineRoom& room, DiffMarker marker, uint32_t most)
        : room_(room), marker_(marker), left_(most) {}

    // Room for the whole chunk at once, or for what is left of `most`.
    bool WriteLines(const char* lines, size_t bytes) override {
        size_t count = bytes / DumpLineLength;
        size_t now = count < left_ ? count : left_;
        char* at = now ? room_.Room(now * DumpLineLength) : nullptr;
        if (!at)
            return false;
        for (size_t k = 0; k < now; ++k, at += DumpLineLength, lines += DumpLineLength) {
            at[0] = marker_;
            std::memcpy(at + 1, lines, DumpLineLength - 2);
            at[DumpLineLength - 1] = '\n';
        }
        left_ -= uint32_t(now);
        return now == count;
    }
    bool Full() const { return left_ == 0; }

  private:
    MarkedLineRoom& room_;
    char marker_;
    uint32_t left_;
};

} // namespace

bool WriteMarkedLines(const RecordIndex& file, uint32_t first, uint32_t end, uint32_t skip,
                      uint32_t most, DiffMarker marker, Numeration mode, MarkedLineRoom& room) {
    if (first == end || most == 0)
        return true;
    DumpRun run = file.RunOfRecords(first, end);
    if (skip != 0) {
        uint32_t until = run.end;
        run = file.RunFromLine(run.from.line + skip);
        run.end = until;
    }
    char lines[64 * DumpLineLength];
    MarkedLines marked(room, marker, most);
    DumpWalkResult walked = WriteDumpLines(run, mode, lines, sizeof lines, &marked, nullptr);
    return walked == DUMP_WALK_COMPLETE || (walked == DUMP_WALK_STOPPED && marked.Full());
}
