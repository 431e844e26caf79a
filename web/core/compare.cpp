// The page's compare calls: the core's record diff of the two open files as rows a view
// pages through, the way `qefdump --diff` prints it: the hunks with their equal records around
// the changes, and each equal run between them folded into one row the reader may open.
#include "web/core/binding.h"

#include "dump/plural.h"
#include "dump/record_diff.h"
#include "dump/record_text.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

using std::to_string;

struct Segment {
    RowKind kind;
    uint32_t row;        // its first row
    RecordRange records; // the lines of A's records, or of B's for ROW_ADDED
};

struct Comparison {
    std::vector<Segment> segments;
    uint32_t rows = 0;
    uint32_t changes = 0, removed = 0, added = 0;
    uint32_t openedA = 0, openedB = 0; // of the files compared
};

Comparison comparison;
Comparison previous; // until qef_compare_settle, with the compared file it was made with

// The file of a slot as it was compared, or nullptr when another has been opened since.
const RecordIndex* Compared(FileSlot slot) {
    const OpenFile* file = AcceptedFile(slot);
    uint32_t opened = slot == SLOT_SHOWN ? comparison.openedA : comparison.openedB;
    return file && file->opened == opened ? &file->index : nullptr;
}

// Forgets a comparison whose files have changed since: its rows would point into others.
bool Current() {
    if (!comparison.segments.empty() && (!Compared(SLOT_SHOWN) || !Compared(SLOT_COMPARED)))
        comparison = Comparison();
    return !comparison.segments.empty();
}

constexpr size_t MostRowBytes = 128; // the longest row that is not a dump line is far shorter
constexpr uint32_t MostRows = 4096;

bool IsLines(RowKind kind) {
    return kind == ROW_SAME || kind == ROW_REMOVED || kind == ROW_ADDED;
}

bool IsChange(const Segment& segment) {
    return segment.kind == ROW_REMOVED || segment.kind == ROW_ADDED;
}

uint32_t RowsOf(const Segment& segment, const RecordIndex& a, const RecordIndex& b) {
    if (!IsLines(segment.kind))
        return 1;
    bool inB = segment.kind == ROW_ADDED;
    return (inB ? b : a).LinesOf(segment.records.First(inB), segment.records.End(inB));
}

// Numbers the rows from segment `from` on, after a segment changed its kind.
void NumberRows(size_t from, const RecordIndex& a, const RecordIndex& b) {
    std::vector<Segment>& segments = comparison.segments;
    uint32_t row = from == 0 ? 0 : segments[from - 1].row + RowsOf(segments[from - 1], a, b);
    for (size_t k = from; k < segments.size(); ++k, row += RowsOf(segments[k - 1], a, b))
        segments[k].row = row;
    comparison.rows = segments.empty() ? 0 : row;
}

void AddHunk(const RecordChanges& changes, const RecordRange& hunk) {
    comparison.segments.push_back({ROW_HUNK, 0, hunk});
    HunkBlocks blocks(changes, hunk);
    for (DiffBlock block{}; blocks.Next(block);) {
        const RecordRange& r = block.records;
        if (!block.changed) {
            comparison.segments.push_back({ROW_SAME, 0, r});
        } else {
            ++comparison.changes;
            comparison.removed += r.endA - r.firstA;
            comparison.added += r.endB - r.firstB;
            if (r.endA > r.firstA)
                comparison.segments.push_back({ROW_REMOVED, 0, r});
            if (r.endB > r.firstB)
                comparison.segments.push_back({ROW_ADDED, 0, r});
        }
    }
}

// The segment that holds row `row` (below comparison.rows).
size_t SegmentOf(uint32_t row) {
    const std::vector<Segment>& segments = comparison.segments;
    auto after = std::upper_bound(segments.begin(), segments.end(), row,
                                  [](uint32_t r, const Segment& s) { return r < s.row; });
    return size_t(after - segments.begin()) - 1;
}

bool StartsChange(size_t k) {
    const std::vector<Segment>& segments = comparison.segments;
    return IsChange(segments[k]) && (k == 0 || !IsChange(segments[k - 1]));
}

// "1 record", "2 records": a count and its noun, singular at one.
std::string Counted(uint32_t count, const char* noun) {
    return to_string(count) + " " + noun + PluralEnding(count);
}

std::string RowText(const Segment& segment) {
    const RecordRange& r = segment.records;
    std::string records = RecordsText(r.firstA, r.endA) + " / " + RecordsText(r.firstB, r.endB);
    if (segment.kind == ROW_HUNK)
        return "@@ records " + records;
    return "= " + Counted(r.endA - r.firstA, "equal record") + " folded: " + records;
}

// Marked lines into the output buffer, which has room for them all.
class RowRoom final : public MarkedLineRoom {
  public:
    explicit RowRoom(char* at) : at_(at) {}
    char* Room(size_t bytes) override { return std::exchange(at_, at_ + bytes); }
    char* End() const { return at_; }

  private:
    char* at_;
};

std::string TagText(uint32_t tag) {
    char hex[8];
    return std::string(hex, WriteTagHex(tag, hex)) + " " + std::string(TrimmedTagName(tag));
}

std::string Bytes(uint32_t count) {
    return Counted(count, "data byte");
}

// What differs between a removed record and the added one in its place.
std::string DescribePair(const Record& a, const Record& b) {
    std::string text = "Record " + to_string(a.Number()) + " -> " + to_string(b.Number()) + ": ";
    text += a.tag == b.tag ? "tag " + TagText(a.tag)
                           : "tag " + TagText(a.tag) + " -> " + TagText(b.tag);
    if (a.size != b.size)
        text += ", size " + to_string(a.size) + " -> " + to_string(b.size);
    DataDifference data = CompareRecordData(a, b);
    if (data.differ)
        text += ", " + to_string(data.differ) + " of " + Bytes(data.common) +
                " differ, the first at data byte " + to_string(data.first);
    else if (data.common)
        text += a.size == b.size ? ", the same " + Bytes(data.common)
                                 : ", the first " + Bytes(data.common) + " the same";
    return text + ".\n";
}

std::string DescribeAlone(const Record& record, const char* what) {
    return "Record " + to_string(record.Number()) + " " + what + ": " + TagText(record.tag) + ", " +
           Bytes(record.size) + ".\n";
}

// The records of the change that starts at segment `k`, paired in order.
std::string DescribeChange(size_t k) {
    const RecordIndex& a = *Compared(SLOT_SHOWN);
    const RecordIndex& b = *Compared(SLOT_COMPARED);
    const RecordRange& r = comparison.segments[k].records;
    uint32_t number = 0;
    for (size_t s = 0; s <= k; ++s)
        number += StartsChange(s);
    std::string text = "Change " + to_string(number) + " of " + to_string(comparison.changes) +
                       ": records " + RecordsText(r.firstA, r.endA) + " of A, " +
                       RecordsText(r.firstB, r.endB) + " of B.\n";
    constexpr uint32_t MostShown = 50;
    uint32_t shown = 0;
    for (uint32_t i = r.firstA, j = r.firstB; (i < r.endA || j < r.endB) && shown < MostShown;
         ++shown) {
        if (i < r.endA && j < r.endB)
            text += DescribePair(a.At(i++), b.At(j++));
        else
            text += i < r.endA ? DescribeAlone(a.At(i++), "removed")
                               : DescribeAlone(b.At(j++), "added");
    }
    uint32_t left = std::max(r.endA - r.firstA, r.endB - r.firstB) - shown;
    if (left)
        text += "And " + to_string(left) + " more.\n";
    return text;
}

} // namespace

// The comparison of the shown file with the incoming compared one: a CompareResult.
static int CompareIncoming(uint32_t context) try {
    OpenFile* a = AcceptedFile(SLOT_SHOWN);
    OpenFile* b = IncomingCompared();
    RecordChanges changes;
    if (!a || !b)
        return COMPARE_NO_FILE;
    if (!DiffRecords(a->index, b->index, changes))
        return COMPARE_NO_MEMORY;
    comparison.openedA = a->opened, comparison.openedB = b->opened;
    DiffHunks hunks(changes, context);
    uint32_t doneA = 0, doneB = 0;
    for (RecordRange hunk{}; hunks.Next(hunk); doneA = hunk.endA, doneB = hunk.endB) {
        if (hunk.firstA > doneA)
            comparison.segments.push_back({ROW_FOLD, 0, {doneA, hunk.firstA, doneB, hunk.firstB}});
        AddHunk(changes, hunk);
    }
    if (doneA < a->index.Count())
        comparison.segments.push_back(
            {ROW_FOLD, 0, {doneA, a->index.Count(), doneB, b->index.Count()}});
    NumberRows(0, a->index, b->index);
    return COMPARE_MADE;
} catch (const std::bad_alloc&) {
    return COMPARE_NO_MEMORY;
}

// Compares the shown file with the incoming compared one, with `context` equal records around
// each change, and puts that file in the compared slot; the comparison before, and its file,
// wait for qef_compare_settle. A CompareResult: when either file is not open or memory ran out,
// the comparison before, and its files, stay, and the incoming file goes.
QEF_EXPORT int qef_compare(uint32_t context) {
    previous = std::move(comparison);
    comparison = Comparison();
    int result = CompareIncoming(context);
    if (result == COMPARE_MADE) {
        SwapCompared();
        return result;
    }
    comparison = std::move(previous);
    previous = Comparison();
    qef_drop(SLOT_COMPARED);
    return result;
}

// Keeps the comparison just made, or (keep false, for a comparison cancelled) gives back the
// one before it, with its file.
QEF_EXPORT void qef_compare_settle(int keep) {
    if (!keep) {
        SwapCompared();
        comparison = std::move(previous);
    }
    previous = Comparison();
    qef_drop(SLOT_COMPARED);
}

QEF_EXPORT uint32_t qef_diff_row_count() {
    return Current() ? comparison.rows : 0;
}

// Rows [first, first + count), each its text and a line feed; the first character tells the
// kind of row. The number of bytes written.
QEF_EXPORT uint32_t qef_diff_rows(uint32_t first, uint32_t count, int mode) try {
    if (!Current() || first >= comparison.rows || mode < NUMERATION_SINGLE ||
        mode > NUMERATION_OFFSET)
        return 0;
    count = std::min({count, comparison.rows - first, MostRows});
    char* start = OutputRoom(count * MostRowBytes);
    char* at = start;
    const RecordIndex& a = *Compared(SLOT_SHOWN);
    const RecordIndex& b = *Compared(SLOT_COMPARED);
    for (size_t k = SegmentOf(first); at && count > 0; ++k) {
        const Segment& segment = comparison.segments[k];
        uint32_t skip = first - segment.row;
        uint32_t rows = std::min(count, RowsOf(segment, a, b) - skip);
        if (IsLines(segment.kind)) {
            bool inB = segment.kind == ROW_ADDED;
            RowRoom room(at);
            WriteMarkedLines(inB ? b : a, segment.records.First(inB), segment.records.End(inB),
                             skip, rows, DiffMarker(segment.kind), Numeration(mode), room);
            at = room.End();
        } else {
            std::string text = RowText(segment) + "\n";
            at = std::copy(text.begin(), text.end(), at);
        }
        first += rows, count -= rows;
    }
    return uint32_t(at - start);
} catch (const std::bad_alloc&) {
    return 0;
}

// Shows the equal records a fold row stands for; false for any other row.
QEF_EXPORT int qef_diff_unfold(uint32_t row) {
    if (!Current() || row >= comparison.rows)
        return 0;
    size_t k = SegmentOf(row);
    if (comparison.segments[k].kind != ROW_FOLD)
        return 0;
    comparison.segments[k].kind = ROW_SAME;
    NumberRows(k, *Compared(SLOT_SHOWN), *Compared(SLOT_COMPARED));
    return 1;
}

// The first row of the next change after row `row` (direction > 0) or of the last one that
// starts before it; -1 when there is none.
QEF_EXPORT int qef_diff_change(int row, int direction) {
    Current();
    const std::vector<Segment>& segments = comparison.segments;
    int found = -1;
    for (size_t k = 0; k < segments.size(); ++k) {
        if (!StartsChange(k))
            continue;
        int start = int(segments[k].row);
        if (direction > 0 && start > row)
            return start;
        if (direction <= 0 && start < row)
            found = start;
    }
    return found;
}

// What changed in the records of the change that holds row `row`, a line for each record.
QEF_EXPORT uint32_t qef_diff_detail(uint32_t row) {
    if (!Current() || row >= comparison.rows)
        return 0;
    size_t k = SegmentOf(row);
    if (!IsChange(comparison.segments[k]))
        return 0;
    while (!StartsChange(k))
        --k;
    return OutputOf([k] { return DescribeChange(k); });
}

// "2 changes: 3 records removed, 4 added." ("1 change: 1 record removed, 1 added.") or that the
// records are equal.
QEF_EXPORT uint32_t qef_diff_summary() {
    Current();
    if (comparison.changes == 0)
        return OutputText("The records are equal.");
    return OutputText(Counted(comparison.changes, "change") + ": " +
                      Counted(comparison.removed, "record") + " removed, " +
                      to_string(comparison.added) + " added.");
}

// The row that shows line `line` of A's dump, the side a comparison shows, opening the fold that
// holds it: -1 when there is no comparison or no such line.
QEF_EXPORT int qef_diff_row_of_line(uint32_t line) {
    if (!Current())
        return -1;
    const RecordIndex& a = *Compared(SLOT_SHOWN);
    const RecordIndex& b = *Compared(SLOT_COMPARED);
    if (line >= a.LineCount())
        return -1;
    uint32_t record = a.RecordOfLine(line);
    std::vector<Segment>& segments = comparison.segments;
    for (size_t k = 0; k < segments.size(); ++k) {
        Segment& segment = segments[k];
        const RecordRange& r = segment.records;
        if (!(segment.kind == ROW_SAME || segment.kind == ROW_REMOVED ||
              segment.kind == ROW_FOLD) ||
            record < r.firstA || record >= r.endA)
            continue;
        if (segment.kind == ROW_FOLD) {
            segment.kind = ROW_SAME;
            NumberRows(k, a, b);
        }
        return int(segment.row + line - a.Position(r.firstA).line);
    }
    return -1;
}
