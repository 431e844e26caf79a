// The record diff as a unified diff of the two dumps, which patch applies to A's dump with LF
// line ends and diffstat counts.
#include "cli/printers.h"
#include "cli/quote.h"

#include "dump/record_text.h"

#include <cstring>
#include <string>

namespace {

using std::to_string;

// Lines of a run of records as a diff shows them: the marker in front, LF for CR LF; at most
// `most` of them.
class MarkedLines final : public DumpLineSink {
  public:
    MarkedLines(TextOut& out, char marker, uint32_t most)
        : out_(out), marker_(marker), left_(most) {}

    bool WriteLines(const char* lines, size_t bytes) override {
        for (const char* line = lines; line < lines + bytes; line += DumpLineLength, --left_) {
            char* at = left_ ? out_.Room(DumpLineLength) : nullptr;
            if (!at)
                return false;
            at[0] = marker_;
            std::memcpy(at + 1, line, DumpLineLength - 2);
            at[DumpLineLength - 1] = '\n';
        }
        return true;
    }
    bool Full() const { return left_ == 0; }

  private:
    TextOut& out_;
    char marker_;
    uint32_t left_;
};

// The lines of records [first, end) of a file, numbered as in its whole dump, without the
// first `skip` of them and at most `most`.
bool PrintLines(const RecordIndex& file, RecordRange records, bool fromB, uint32_t skip,
                uint32_t most, char marker, Numeration mode, TextOut& out) {
    uint32_t first = fromB ? records.firstB : records.firstA;
    uint32_t end = fromB ? records.endB : records.endA;
    if (first == end || most == 0)
        return true;
    DumpRun run = file.RunOfRecords(first, end);
    if (skip != 0) {
        uint32_t until = run.end;
        run = file.RunFromLine(run.from.line + skip);
        run.end = until;
    }
    char lines[64 * DumpLineLength];
    MarkedLines marked(out, marker, most);
    DumpWalkResult walked = WriteDumpLines(run, mode, lines, sizeof lines, &marked, nullptr);
    return walked == DUMP_WALK_COMPLETE || (walked == DUMP_WALK_STOPPED && marked.Full());
}

// As diff writes a range: its first line and how many; an empty range names the line before.
std::string LineRange(uint32_t before, uint32_t count) {
    return to_string(count == 0 ? before : before + 1) + "," + to_string(count);
}

std::string Records(uint32_t first, uint32_t end) {
    if (first == end)
        return "none";
    return end - first == 1 ? to_string(end) : to_string(first + 1) + "-" + to_string(end);
}

std::string NumberAndTag(const Record& record) {
    char tag[8];
    return to_string(record.Number()) + ":" + std::string(tag, WriteTagHex(record.tag, tag));
}

// ", tags 5:01000031 / 5:02000031" for each removed record of the hunk that reads exactly as
// an added one: their tags differ, but not their names.
bool PrintLookAlikes(const RecordIndex& a, const RecordIndex& b, const RecordChanges& changes,
                     const RecordRange& hunk, Numeration mode, TextOut& out) {
    const char* separator = ", tags ";
    RecordPosition inB = b.Position(hunk.firstB);
    RecordWalk walk = WalkRecords(
        a.Data(), a.Offset(hunk.endA), a.Position(hunk.firstA), [&](const Record& removed) {
            if (!changes.removed[removed.at.record])
                return true;
            // Numbers rise through both files: an added record numbered below this one can
            // match no later one either.
            uint32_t number = NumberOfFirstLine(removed, mode);
            for (; inB.record < hunk.endB; inB = RecordAt(b.Data(), inB).Next()) {
                Record added = RecordAt(b.Data(), inB);
                if (changes.added[inB.record] && NumberOfFirstLine(added, mode) >= number)
                    break;
            }
            if (inB.record == hunk.endB)
                return true;
            Record added = RecordAt(b.Data(), inB);
            if (!SameDumpText(removed, added, mode))
                return true;
            std::string pair = separator + NumberAndTag(removed) + " / " + NumberAndTag(added);
            separator = ", ";
            return out.Put(pair);
        });
    return walk.end == RECORDS_COMPLETE;
}

// Lines of A's dump in records [first, end).
uint32_t LinesOf(const RecordIndex& file, uint32_t first, uint32_t end) {
    return file.Position(end).line - file.Position(first).line;
}

// What a hunk shows of its context: patch takes a hunk whose context before and after differ in
// length to belong at the start or the end of the file, and applies it elsewhere only with
// fuzz. So the longer side gives up its outermost lines, unless the shorter one reaches the
// file's edge.
struct HunkContext {
    uint32_t cutBefore = 0, cutAfter = 0;
    uint32_t after = 0; // lines shown after the last change
};

HunkContext ContextOf(const DiffFile& a, const RecordChanges& changes, const RecordRange& hunk) {
    DiffBlock first = BlockAt(changes, hunk, hunk.firstA, hunk.firstB), last = first;
    while (last.records.endA < hunk.endA || last.records.endB < hunk.endB)
        last = BlockAt(changes, hunk, last.records.endA, last.records.endB);
    HunkContext context;
    uint32_t before =
        first.changed ? 0 : LinesOf(a.index, first.records.firstA, first.records.endA);
    context.after = last.changed ? 0 : LinesOf(a.index, last.records.firstA, last.records.endA);
    if (before < context.after && hunk.firstA != 0)
        context.cutAfter = context.after - before;
    else if (context.after < before && hunk.endA != a.index.Count())
        context.cutBefore = before - context.after;
    context.after -= context.cutAfter;
    return context;
}

// "@@ -13,4 +13,5 @@ records 5-6 / 5-7": lines in A's dump and B's, then the records.
bool PrintHunkHeader(const DiffFile& a, const DiffFile& b, const RecordChanges& changes,
                     const RecordRange& hunk, const HunkContext& context, Numeration mode,
                     TextOut& out) {
    uint32_t cut = context.cutBefore + context.cutAfter;
    uint32_t beforeA = a.index.Position(hunk.firstA).line + context.cutBefore;
    uint32_t beforeB = b.index.Position(hunk.firstB).line + context.cutBefore;
    return out.Put("@@ -" + LineRange(beforeA, LinesOf(a.index, hunk.firstA, hunk.endA) - cut) +
                   " +" + LineRange(beforeB, LinesOf(b.index, hunk.firstB, hunk.endB) - cut) +
                   " @@ records " + Records(hunk.firstA, hunk.endA) + " / " +
                   Records(hunk.firstB, hunk.endB)) &&
           PrintLookAlikes(a.index, b.index, changes, hunk, mode, out) && out.Put("\n");
}

// Equal records are shown as they stand in A, so that the hunk applies to A's dump.
bool PrintHunk(const DiffFile& a, const DiffFile& b, const RecordChanges& changes,
               const RecordRange& hunk, Numeration mode, TextOut& out) {
    HunkContext context = ContextOf(a, changes, hunk);
    if (!PrintHunkHeader(a, b, changes, hunk, context, mode, out))
        return false;
    for (uint32_t i = hunk.firstA, j = hunk.firstB; i < hunk.endA || j < hunk.endB;) {
        DiffBlock block = BlockAt(changes, hunk, i, j);
        const RecordRange& r = block.records;
        bool first = i == hunk.firstA && j == hunk.firstB;
        bool last = r.endA == hunk.endA && r.endB == hunk.endB;
        uint32_t skip = first ? context.cutBefore : 0;
        uint32_t most = last && !first ? context.after : UINT32_MAX;
        bool written = block.changed
                           ? PrintLines(a.index, r, false, 0, UINT32_MAX, '-', mode, out) &&
                                 PrintLines(b.index, r, true, 0, UINT32_MAX, '+', mode, out)
                           : PrintLines(a.index, r, false, skip, most, ' ', mode, out);
        if (!written)
            return false;
        i = r.endA, j = r.endB;
    }
    return true;
}

} // namespace

bool PrintDiff(const DiffFile& a, const DiffFile& b, const RecordChanges& changes, Numeration mode,
               uint32_t context, TextOut& out) {
    if (!out.Put("--- " + HeaderName(a.name) + "\n+++ " + HeaderName(b.name) + "\n"))
        return false;
    DiffHunks hunks(changes, context);
    for (RecordRange hunk{}; hunks.Next(hunk);)
        if (!PrintHunk(a, b, changes, hunk, mode, out))
            return false;
    return out.Flush();
}
