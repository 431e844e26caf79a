#include "dump/record_diff.h"

#include "dump/edit_search.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace {

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

bool SameRecord(const RecordIndex& file, uint32_t i, uint32_t j) {
    return file.Bytes(i) == file.Bytes(j) &&
           std::memcmp(file.Data() + file.Offset(i), file.Data() + file.Offset(j), file.Bytes(i)) ==
               0;
}

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

// Files that are near alike need a few passes over their records.
uint64_t QuickBudget(size_t records) {
    return (uint64_t(1) << 16) + 8 * uint64_t(records);
}

// Members equal when their numbers are: the classes of records.
class KeyEquality final : public EditEquality {
  public:
    KeyEquality(const uint32_t* x, const uint32_t* y) : x_(x), y_(y) {}

    uint32_t Forward(uint32_t x, uint32_t y, uint32_t most) const override {
        uint32_t run = 0;
        while (run < most && x_[x + run] == y_[y + run])
            ++run;
        return run;
    }
    uint32_t Backward(uint32_t x, uint32_t y, uint32_t most) const override {
        uint32_t run = 0;
        while (run < most && x_[x - 1 - run] == y_[y - 1 - run])
            ++run;
        return run;
    }

  private:
    const uint32_t* x_;
    const uint32_t* y_;
};

// How many bytes from the front two blocks share, eight at a time.
size_t SharedPrefix(const unsigned char* one, const unsigned char* other, size_t most) {
    size_t same = 0;
    for (; same + 8 <= most; same += 8) {
        uint64_t x = 0, y = 0;
        std::memcpy(&x, one + same, 8);
        std::memcpy(&y, other + same, 8);
        if (x != y)
            return same + size_t(std::countr_zero(x ^ y) / 8);
    }
    while (same < most && one[same] == other[same])
        ++same;
    return same;
}

// How many bytes from the back two blocks share, ending at `one` and `other`.
size_t SharedSuffix(const unsigned char* one, const unsigned char* other, size_t most) {
    size_t same = 0;
    for (; same + 8 <= most; same += 8) {
        uint64_t x = 0, y = 0;
        std::memcpy(&x, one - same - 8, 8);
        std::memcpy(&y, other - same - 8, 8);
        if (x != y)
            return same + size_t(std::countl_zero(x ^ y) / 8);
    }
    while (same < most && one[-1 - ptrdiff_t(same)] == other[-1 - ptrdiff_t(same)])
        ++same;
    return same;
}

// Records of two files compared as bytes, whole runs at once: two spans that start where
// records start and hold the same bytes hold the same records, as the sizes in their headers
// are the same bytes too.
class RecordEquality final : public EditEquality {
  public:
    RecordEquality(const RecordIndex& a, const RecordIndex& b) : a_(a), b_(b) {}

    uint32_t Forward(uint32_t x, uint32_t y, uint32_t most) const override {
        uint32_t fromA = a_.Offset(x), fromB = b_.Offset(y);
        size_t span = std::min(a_.Offset(x + most) - fromA, b_.Offset(y + most) - fromB);
        size_t same = SharedPrefix(a_.Data() + fromA, b_.Data() + fromB, span);
        // The records of A that end inside the shared bytes; B's end where they do.
        return a_.RecordsEndingBy(x, most, fromA + uint32_t(same));
    }
    // Backwards the bytes alone do not tell where records start: the records before must have
    // the same lengths, one after the other, inside the shared bytes.
    uint32_t Backward(uint32_t x, uint32_t y, uint32_t most) const override {
        uint32_t endA = a_.Offset(x), endB = b_.Offset(y);
        size_t span = std::min(endA - a_.Offset(x - most), endB - b_.Offset(y - most));
        size_t same = SharedSuffix(a_.Data() + endA, b_.Data() + endB, span);
        uint32_t run = 0;
        for (size_t length = 0; run < most; ++run) {
            uint32_t bytes = a_.Bytes(x - 1 - run);
            length += bytes;
            if (bytes != b_.Bytes(y - 1 - run) || length > same)
                break;
        }
        return run;
    }

  private:
    const RecordIndex& a_;
    const RecordIndex& b_;
};

// Numbers the distinct records of both files, so that the search compares integers. Records
// meet byte for byte only when their hashes share a slot.
class RecordClasses {
  public:
    // A third to two thirds of the slots in use: short probes, and no more than four bytes a
    // slot for at most twice as many slots as records.
    explicit RecordClasses(size_t records) : slots_(std::bit_ceil(records + records / 2 + 16), 0) {}

    uint32_t ClassOf(const unsigned char* record, uint32_t length) {
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

// The records of one file that take part in a search by class: those with an equal record in
// the other file. The rest cannot be matched and are changes from the start.
struct Members {
    std::vector<uint32_t> classes;
    std::vector<uint32_t> records; // the record number (from 0) of each

    EditSide Side() const { return {uint32_t(classes.size()), records.data()}; }
};

std::vector<uint32_t> ClassesOf(const RecordIndex& file, RecordClasses& classes) {
    std::vector<uint32_t> of(file.Count());
    for (uint32_t k = 0; k < file.Count(); ++k)
        of[k] = classes.ClassOf(file.Data() + file.Offset(k), file.Bytes(k));
    return of;
}

// Any pair of files, within the search's bounds: every record is numbered by its class, and
// those without an equal in the other file are set aside as changes before the search.
void SearchByClass(const RecordIndex& a, const RecordIndex& b, RecordChanges& changes) {
    std::vector<uint32_t> classA, classB;
    std::vector<unsigned char> sides; // per class: 1 when in A, 2 when in B
    {
        RecordClasses classes(size_t(a.Count()) + b.Count());
        classA = ClassesOf(a, classes);
        classB = ClassesOf(b, classes);
        sides.assign(classes.Count(), 0);
    }
    for (uint32_t c : classA)
        sides[c] |= 1;
    for (uint32_t c : classB)
        sides[c] |= 2;
    auto take = [&sides](const std::vector<uint32_t>& from, std::vector<unsigned char>& changed) {
        Members members;
        for (uint32_t k = 0; k < from.size(); ++k) {
            if (sides[from[k]] == 3) {
                members.classes.push_back(from[k]);
                members.records.push_back(k);
            } else {
                changed[k] = 1;
            }
        }
        return members;
    };
    Members x = take(classA, changes.removed), y = take(classB, changes.added);
    classA = {};
    classB = {};
    size_t records = x.classes.size() + y.classes.size();
    KeyEquality equality(x.classes.data(), y.classes.data());
    EditSearch search(x.Side(), y.Side(), equality, CostLimit(records), StepBudget(records), false);
    search.Run(changes.removed.data(), changes.added.data());
}

// Files that are near alike: the search on the records themselves, given up at its first
// bound. Its script is then a shortest one.
bool SearchByRecord(const RecordIndex& a, const RecordIndex& b, RecordChanges& changes) {
    size_t records = size_t(a.Count()) + b.Count();
    RecordEquality equality(a, b);
    EditSearch search({a.Count(), nullptr}, {b.Count(), nullptr}, equality, CostLimit(records),
                      QuickBudget(records), true);
    return search.Run(changes.removed.data(), changes.added.data());
}

// Moves each run of changed records down while the record after it equals its first: the run
// then ends where the run of equal records ends, as diff and git place it.
void SlideChanges(const RecordIndex& file, std::vector<unsigned char>& changed) {
    const uint32_t count = file.Count();
    for (uint32_t start = 0; start < count;) {
        if (!changed[start]) {
            ++start;
            continue;
        }
        uint32_t end = start;
        while (end < count && changed[end])
            ++end;
        while (end < count && SameRecord(file, start, end)) {
            changed[start++] = 0;
            changed[end++] = 1;
            while (end < count && changed[end]) // joined to the next run
                ++end;
        }
        start = end;
    }
}

} // namespace

uint32_t RecordChanges::EqualRun(uint32_t a, uint32_t b, uint64_t most) const {
    uint32_t run = 0;
    while (run < most && a + run < removed.size() && b + run < added.size() &&
           !Changed(a + run, b + run))
        ++run;
    return run;
}

bool RecordChanges::Equal() const {
    uint32_t same = EqualRun(0, 0, UINT32_MAX);
    return same == removed.size() && same == added.size();
}

bool DiffRecords(const RecordIndex& a, const RecordIndex& b, RecordChanges& changes) {
    try {
        changes.removed.assign(a.Count(), 0);
        changes.added.assign(b.Count(), 0);
        if (!SearchByRecord(a, b, changes)) {
            std::fill(changes.removed.begin(), changes.removed.end(), 0);
            std::fill(changes.added.begin(), changes.added.end(), 0);
            SearchByClass(a, b, changes);
        }
        SlideChanges(a, changes.removed);
        SlideChanges(b, changes.added);
        return true;
    } catch (const std::bad_alloc&) {
        changes = {};
        return false;
    }
}

DataDifference CompareRecordData(const Record& a, const Record& b) {
    DataDifference difference{std::min(a.size, b.size), 0, 0};
    for (uint32_t k = 0; k < difference.common; ++k)
        if (a.data[k] != b.data[k] && difference.differ++ == 0)
            difference.first = k;
    return difference;
}
