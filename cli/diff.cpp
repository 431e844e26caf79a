#include "cli/diff.h"

#include "dump/module_info.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

using Flags = std::vector<unsigned char>;

// The offset of every record, and the length of the file after the last.
std::vector<uint32_t> RecordOffsets(const DiffSide& side) {
    std::vector<uint32_t> offsets;
    offsets.reserve(PlanDump(side.data, side.length).recordCount + size_t(1));
    for (uint32_t offset = 0; offset < side.length;
         offset += RecordHeaderSize + ReadRecordHeader(side.data + offset).size)
        offsets.push_back(offset);
    offsets.push_back(side.length);
    return offsets;
}

uint64_t HashRecord(const unsigned char* record, uint32_t length) {
    constexpr uint64_t Multiplier = 0x9E3779B97F4A7C15ull;
    uint64_t hash = length;
    uint32_t k = 0;
    for (; k + 8 <= length; k += 8) {
        uint64_t word = 0;
        std::memcpy(&word, record + k, 8);
        hash = std::rotl((hash ^ word) * Multiplier, 29);
    }
    uint64_t tail = 0;
    std::memcpy(&tail, record + k, length - k);
    hash = (hash ^ tail) * Multiplier;
    return hash ^ hash >> 32;
}

// Numbers the distinct records of both files, so that the search compares integers. Records
// meet byte for byte only when their hashes share a slot.
class RecordClasses {
  public:
    // A third to two thirds of the slots in use: short probes, and no more than four bytes a
    // slot for at most twice as many slots as records.
    explicit RecordClasses(size_t records) : slots_(std::bit_ceil(records + records / 2 + 16), 0) {}

    uint32_t ClassOf(const unsigned char* record) {
        uint32_t length = RecordHeaderSize + ReadRecordHeader(record).size;
        size_t mask = slots_.size() - 1;
        for (size_t slot = size_t(HashRecord(record, length)) & mask;; slot = (slot + 1) & mask) {
            uint32_t& entry = slots_[slot];
            if (entry == 0) {
                members_.push_back(record);
                entry = uint32_t(members_.size());
                return entry - 1;
            }
            // The headers first: a shorter member must not be read past its end.
            const unsigned char* member = members_[entry - 1];
            if (std::memcmp(member, record, RecordHeaderSize) == 0 &&
                std::memcmp(member, record, length) == 0)
                return entry - 1;
        }
    }

    size_t Count() const { return members_.size(); }

  private:
    std::vector<uint32_t> slots_; // a class number + 1, or 0 for a free slot
    std::vector<const unsigned char*> members_;
};

// The records of one file that take part in the search: those with an equal record in the
// other file. The rest cannot be matched and are changes from the start.
struct Sequence {
    std::vector<uint32_t> classes;
    std::vector<uint32_t> records; // the record number (from 0) of each
};

// Myers' search for a shortest edit script, on the classes of the two sequences, in linear
// space: each step finds a point of an optimal path halfway (the middle snake) and splits
// the problem there. Two bounds keep any pair of files cheap, and the script stays correct
// under both, if longer than the shortest:
// - as in GNU diff and git, a split that costs more than `limit` edits takes the point that
//   got furthest instead of the middle;
// - once the search has taken `budget` steps in all, what is left of each part is taken as
//   removed from A and added to B, as diff libraries do when their time is up (counted in
//   steps here, so that the output does not depend on the machine).
class EditSearch {
  public:
    EditSearch(const Sequence& x, const Sequence& y, int limit, uint64_t budget)
        : x_(x.classes.data()), y_(y.classes.data()), limit_(limit), budget_(budget),
          forward_(size_t(2 * limit + 5)), backward_(size_t(2 * limit + 5)) {}

    // Marks the members of x that are not on the path as removed and those of y as added.
    void Run(const Sequence& x, const Sequence& y, Flags& removed, Flags& added) {
        std::vector<Box> boxes{{0, int(x.classes.size()), 0, int(y.classes.size())}};
        while (!boxes.empty()) {
            Box box = boxes.back();
            boxes.pop_back();
            while (box.xoff < box.xlim && box.yoff < box.ylim && x_[box.xoff] == y_[box.yoff])
                ++box.xoff, ++box.yoff;
            while (box.xoff < box.xlim && box.yoff < box.ylim &&
                   x_[box.xlim - 1] == y_[box.ylim - 1])
                --box.xlim, --box.ylim;
            if (box.xoff == box.xlim || box.yoff == box.ylim || steps_ > budget_) {
                for (int k = box.xoff; k < box.xlim; ++k)
                    removed[x.records[size_t(k)]] = 1;
                for (int k = box.yoff; k < box.ylim; ++k)
                    added[y.records[size_t(k)]] = 1;
                continue;
            }
            Point split = Split(box);
            boxes.push_back({split.x, box.xlim, split.y, box.ylim});
            boxes.push_back({box.xoff, split.x, box.yoff, split.y});
        }
    }

  private:
    struct Box {
        int xoff, xlim, yoff, ylim;
    };
    struct Point {
        int x, y;
    };

    // The furthest x reached on diagonal d (x - y), kept around the middle diagonal of each
    // direction: a search of at most limit steps stays within limit + 1 of it.
    int& Forward(int d) {
        int index = d - forwardMid_ + limit_ + 2;
        return forward_[size_t(index)];
    }
    int& Backward(int d) {
        int index = d - backwardMid_ + limit_ + 2;
        return backward_[size_t(index)];
    }

    Point Split(const Box& box) {
        const int dmin = box.xoff - box.ylim;
        const int dmax = box.xlim - box.yoff;
        forwardMid_ = box.xoff - box.yoff;
        backwardMid_ = box.xlim - box.ylim;
        int fmin = forwardMid_, fmax = forwardMid_;
        int bmin = backwardMid_, bmax = backwardMid_;
        const bool odd = ((forwardMid_ - backwardMid_) & 1) != 0;
        Forward(forwardMid_) = box.xoff;
        Backward(backwardMid_) = box.xlim;
        for (int cost = 1;; ++cost) {
            if (fmin > dmin)
                Forward(--fmin - 1) = -1;
            else
                ++fmin;
            if (fmax < dmax)
                Forward(++fmax + 1) = -1;
            else
                --fmax;
            for (int d = fmax; d >= fmin; d -= 2) {
                int low = Forward(d - 1), high = Forward(d + 1);
                int start = low < high ? high : low + 1, x = start;
                while (x < box.xlim && x - d < box.ylim && x_[x] == y_[x - d])
                    ++x;
                steps_ += uint64_t(x - start) + 1;
                Forward(d) = x;
                if (odd && bmin <= d && d <= bmax && Backward(d) <= x)
                    return {x, x - d};
            }
            if (bmin > dmin)
                Backward(--bmin - 1) = INT_MAX;
            else
                ++bmin;
            if (bmax < dmax)
                Backward(++bmax + 1) = INT_MAX;
            else
                --bmax;
            for (int d = bmax; d >= bmin; d -= 2) {
                int low = Backward(d - 1), high = Backward(d + 1);
                int start = low < high ? low : high - 1, x = start;
                while (x > box.xoff && x - d > box.yoff && x_[x - 1] == y_[x - d - 1])
                    --x;
                steps_ += uint64_t(start - x) + 1;
                Backward(d) = x;
                if (!odd && fmin <= d && d <= fmax && x <= Forward(d))
                    return {x, x - d};
            }
            if (cost >= limit_ || steps_ > budget_)
                return FurthestPoint(box, fmin, fmax, bmin, bmax);
        }
    }

    // The point, forward or backward, that covers the most of x and y together.
    Point FurthestPoint(const Box& box, int fmin, int fmax, int bmin, int bmax) {
        int forwardBest = -1, forwardX = 0;
        for (int d = fmax; d >= fmin; d -= 2) {
            int x = std::min(Forward(d), box.xlim);
            int y = x - d;
            if (y > box.ylim)
                x = box.ylim + d, y = box.ylim;
            if (x + y > forwardBest)
                forwardBest = x + y, forwardX = x;
        }
        int backwardBest = INT_MAX, backwardX = 0;
        for (int d = bmax; d >= bmin; d -= 2) {
            int x = std::max(box.xoff, Backward(d));
            int y = x - d;
            if (y < box.yoff)
                x = box.yoff + d, y = box.yoff;
            if (x + y < backwardBest)
                backwardBest = x + y, backwardX = x;
        }
        if (box.xlim + box.ylim - backwardBest < forwardBest - (box.xoff + box.yoff))
            return {forwardX, forwardBest - forwardX};
        return {backwardX, backwardBest - backwardX};
    }

    const uint32_t* x_;
    const uint32_t* y_;
    int limit_;
    uint64_t budget_;
    uint64_t steps_ = 0;
    int forwardMid_ = 0;
    int backwardMid_ = 0;
    std::vector<int> forward_;
    std::vector<int> backward_;
};

// About the square root of the combined length, and at least 256, as git has it: enough for
// the shortest script wherever the files share most of their records.
int CostLimit(size_t records) {
    int limit = 256;
    while (size_t(limit) * size_t(limit) < records)
        limit *= 2;
    return limit;
}

// Steps of the search in all: a fixed part that small files never reach, and a part that
// grows with the records, so that no pair takes more than a few times the reading of them.
uint64_t StepBudget(size_t records) {
    return (uint64_t(1) << 26) + 32 * uint64_t(records);
}

// Marks every record of A that is not in B's sequence as removed, and of B as added.
void FindChanges(const DiffSide& a, const DiffSide& b, const std::vector<uint32_t>& offsetsA,
                 const std::vector<uint32_t>& offsetsB, Flags& removed, Flags& added) {
    size_t n = offsetsA.size() - 1, m = offsetsB.size() - 1;
    std::vector<uint32_t> classA(n), classB(m);
    std::vector<unsigned char> sides; // per class: 1 when in A, 2 when in B
    {
        RecordClasses classes(n + m);
        for (size_t k = 0; k < n; ++k)
            classA[k] = classes.ClassOf(a.data + offsetsA[k]);
        for (size_t k = 0; k < m; ++k)
            classB[k] = classes.ClassOf(b.data + offsetsB[k]);
        sides.assign(classes.Count(), 0);
    }
    for (uint32_t c : classA)
        sides[c] |= 1;
    for (uint32_t c : classB)
        sides[c] |= 2;
    Sequence x, y;
    auto take = [&sides](const std::vector<uint32_t>& from, Sequence& into, Flags& changed) {
        for (size_t k = 0; k < from.size(); ++k) {
            if (sides[from[k]] == 3) {
                into.classes.push_back(from[k]);
                into.records.push_back(uint32_t(k));
            } else {
                changed[k] = 1;
            }
        }
    };
    take(classA, x, removed);
    take(classB, y, added);
    classA = {};
    classB = {};
    size_t records = x.classes.size() + y.classes.size();
    EditSearch search(x, y, CostLimit(records), StepBudget(records));
    search.Run(x, y, removed, added);
}

// Gathers the text in whole lines and hands it on.
class TextOut {
  public:
    explicit TextOut(DumpLineSink& sink) : sink_(sink), buffer_(Capacity) {}

    // Room for `bytes` more, or nullptr when handing on what is there failed.
    char* Room(size_t bytes) {
        if (used_ + bytes > buffer_.size() && !Flush())
            return nullptr;
        char* at = buffer_.data() + used_;
        used_ += bytes;
        return at;
    }

    bool Put(const std::string& text) {
        char* at = Room(text.size());
        if (at)
            text.copy(at, text.size());
        return at != nullptr;
    }

    bool Flush() {
        bool written = used_ == 0 || sink_.WriteLines(buffer_.data(), used_);
        used_ = 0;
        return written;
    }

  private:
    static constexpr size_t Capacity = 8192 * DumpLineLength;
    DumpLineSink& sink_;
    std::vector<char> buffer_;
    size_t used_ = 0;
};

// Takes the dump lines of a run of records, dumped on their own, and writes them as they
// stand in the dump of the whole file: the marker in front, the number column moved on by
// what precedes the run, LF for CR LF.
class RunLines final : public DumpLineSink {
  public:
    RunLines(TextOut& out, char marker, uint32_t shift)
        : out_(out), marker_(marker), shift_(shift) {}

    bool WriteLines(const char* lines, size_t bytes) override {
        for (const char* line = lines; line < lines + bytes; line += DumpLineLength) {
            char* at = out_.Room(DumpLineLength);
            if (!at)
                return false;
            at[0] = marker_;
            std::memcpy(at + 1, line, DumpLineLength - 2);
            uint32_t number = 0;
            for (size_t k = 0; k <= NumberLastColumn; ++k)
                number = number * 10 + uint32_t(line[k] - '0');
            number += shift_;
            for (size_t k = NumberLastColumn + 1; k > 0; --k, number /= 10)
                at[k] = char('0' + number % 10);
            at[DumpLineLength - 1] = '\n';
        }
        return true;
    }

  private:
    TextOut& out_;
    char marker_;
    uint32_t shift_;
};

// One file's records as the hunks go through them, front to back.
class RecordDumper {
  public:
    RecordDumper(const DiffSide& side, const std::vector<uint32_t>& offsets, Numeration mode,
                 std::vector<char>& chunk)
        : side_(side), offsets_(offsets), mode_(mode), chunk_(chunk) {}

    bool Write(TextOut& out, char marker, uint32_t first, uint32_t end) {
        for (; counted_ < first; ++counted_) {
            uint32_t size = offsets_[counted_ + 1] - offsets_[counted_] - RecordHeaderSize;
            linesBefore_ += size <= BytesPerLine ? 1 : (size + BytesPerLine - 1) / BytesPerLine;
        }
        uint32_t shift = mode_ == NUMERATION_MULTI    ? first
                         : mode_ == NUMERATION_SINGLE ? linesBefore_
                                                      : offsets_[first];
        RunLines lines(out, marker, shift);
        return WriteDumpLines(side_.data + offsets_[first], offsets_[end] - offsets_[first], mode_,
                              chunk_.data(), chunk_.size(), &lines, nullptr) == DUMP_WALK_COMPLETE;
    }

  private:
    const DiffSide& side_;
    const std::vector<uint32_t>& offsets_;
    Numeration mode_;
    std::vector<char>& chunk_;
    uint32_t counted_ = 0;     // records whose lines are in linesBefore_
    uint32_t linesBefore_ = 0; // lines of the records before `counted_`
};

// The change flags of both files, walked in step: equal records pair up in order.
struct Script {
    const Flags& removed;
    const Flags& added;

    uint32_t n() const { return uint32_t(removed.size()); }
    uint32_t m() const { return uint32_t(added.size()); }
    bool Changed(uint32_t i, uint32_t j) const {
        return (i < n() && removed[i]) || (j < m() && added[j]);
    }
    // Equal pairs from (i, j), up to `most`.
    uint32_t EqualRun(uint32_t i, uint32_t j, uint64_t most) const {
        uint32_t run = 0;
        while (run < most && i + run < n() && j + run < m() && !Changed(i + run, j + run))
            ++run;
        return run;
    }
    void SkipChange(uint32_t& i, uint32_t& j) const {
        while (i < n() && removed[i])
            ++i;
        while (j < m() && added[j])
            ++j;
    }
};

std::string HunkRange(uint32_t start, uint32_t count) {
    // As in diff: an empty range names the record before it.
    return std::to_string(count == 0 ? start : start + 1) + "," + std::to_string(count);
}

bool WriteHunks(const Script& script, RecordDumper& dumpA, RecordDumper& dumpB, uint32_t context,
                TextOut& out) {
    uint32_t i = 0, j = 0, shownA = 0;
    for (;;) {
        uint32_t run = script.EqualRun(i, j, UINT32_MAX);
        i += run, j += run;
        if (i == script.n() && j == script.m())
            return true;
        uint32_t lead = std::min(context, i - shownA);
        uint32_t startA = i - lead, startB = j - lead;
        uint32_t endA = i, endB = j;
        for (;;) { // through the changes that lie closer than 2·context
            script.SkipChange(endA, endB);
            uint32_t gap = script.EqualRun(endA, endB, uint64_t(context) * 2 + 1);
            bool last = gap > uint64_t(context) * 2 || !script.Changed(endA + gap, endB + gap);
            if (last) {
                uint32_t tail = std::min(gap, context);
                endA += tail, endB += tail;
                break;
            }
            endA += gap, endB += gap;
        }
        if (!out.Put("@@ -" + HunkRange(startA, endA - startA) + " +" +
                     HunkRange(startB, endB - startB) + " @@\n"))
            return false;
        for (i = startA, j = startB; i < endA || j < endB;) {
            uint32_t equal = script.EqualRun(i, j, endA - i);
            if (equal && !dumpA.Write(out, ' ', i, i + equal))
                return false;
            i += equal, j += equal;
            uint32_t fromA = i, fromB = j;
            script.SkipChange(i, j);
            if ((i > fromA && !dumpA.Write(out, '-', fromA, i)) ||
                (j > fromB && !dumpB.Write(out, '+', fromB, j)))
                return false;
        }
        shownA = endA;
    }
}

} // namespace

DiffOutcome WriteRecordDiff(const DiffSide& a, const DiffSide& b, Numeration mode, uint32_t context,
                            DumpLineSink& sink) {
    try {
        std::vector<uint32_t> offsetsA = RecordOffsets(a), offsetsB = RecordOffsets(b);
        Flags removed(offsetsA.size() - 1, 0), added(offsetsB.size() - 1, 0);
        FindChanges(a, b, offsetsA, offsetsB, removed, added);
        Script script{removed, added};
        uint32_t same = script.EqualRun(0, 0, UINT32_MAX);
        if (same == script.n() && same == script.m())
            return DIFF_EQUAL;
        std::vector<char> chunk(8192 * DumpLineLength);
        TextOut out(sink);
        RecordDumper dumpA(a, offsetsA, mode, chunk), dumpB(b, offsetsB, mode, chunk);
        bool written = out.Put(std::string("--- ") + a.name + "\n+++ " + b.name + "\n") &&
                       WriteHunks(script, dumpA, dumpB, context, out) && out.Flush();
        return written ? DIFF_DIFFERENT : DIFF_WRITE_FAILED;
    } catch (const std::bad_alloc&) {
        return DIFF_NO_MEMORY;
    }
}
