// The record diff as a unified diff of the two dumps, which patch applies to A's dump with LF
// line ends and diffstat counts.
#include "cli/printers.h"
#include "cli/quote.h"

#include "dump/record_text.h"

#include <string>

namespace {

using std::to_string;

// As diff writes a range: its first line and how many; an empty range names the line before.
std::string LineRange(uint32_t before, uint32_t count) {
    return to_string(count == 0 ? before : before + 1) + "," + to_string(count);
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

// What a hunk shows of its context: patch takes a hunk whose context before and after differ in
// length to belong at the start or the end of the file, and applies it elsewhere only with
// fuzz. So the longer side gives up its outermost lines, unless the shorter one reaches the
// file's edge.
struct HunkContext {
    uint32_t cutBefore = 0, cutAfter = 0;
    uint32_t after = 0; // lines shown after the last change
};

HunkContext ContextOf(const DiffFile& a, const RecordChanges& changes, const RecordRange& hunk) {
    HunkBlocks blocks(changes, hunk);
    DiffBlock first{};
    blocks.Next(first);
    DiffBlock last = first;
    for (DiffBlock next{}; blocks.Next(next);)
        last = next;
    HunkContext context;
    uint32_t before = first.changed ? 0 : a.index.LinesOf(first.records.firstA, first.records.endA);
    context.after = last.changed ? 0 : a.index.LinesOf(last.records.firstA, last.records.endA);
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
    return out.Put("@@ -" + LineRange(beforeA, a.index.LinesOf(hunk.firstA, hunk.endA) - cut) +
                   " +" + LineRange(beforeB, b.index.LinesOf(hunk.firstB, hunk.endB) - cut) +
                   " @@ records " + RecordsText(hunk.firstA, hunk.endA) + " / " +
                   RecordsText(hunk.firstB, hunk.endB)) &&
           PrintLookAlikes(a.index, b.index, changes, hunk, mode, out) && out.Put("\n");
}

// Equal records are shown as they stand in A, so that the hunk applies to A's dump.
bool PrintHunk(const DiffFile& a, const DiffFile& b, const RecordChanges& changes,
               const RecordRange& hunk, Numeration mode, TextOut& out) {
    HunkContext context = ContextOf(a, changes, hunk);
    if (!PrintHunkHeader(a, b, changes, hunk, context, mode, out))
        return false;
    HunkBlocks blocks(changes, hunk);
    for (DiffBlock block{}; blocks.Next(block);) {
        const RecordRange& r = block.records;
        bool first = r.firstA == hunk.firstA && r.firstB == hunk.firstB;
        bool last = r.endA == hunk.endA && r.endB == hunk.endB;
        uint32_t skip = first ? context.cutBefore : 0;
        uint32_t most = last && !first ? context.after : UINT32_MAX;
        bool written = block.changed ? WriteMarkedLines(a.index, r.firstA, r.endA, 0, UINT32_MAX,
                                                        MARK_REMOVED, mode, out) &&
                                           WriteMarkedLines(b.index, r.firstB, r.endB, 0,
                                                            UINT32_MAX, MARK_ADDED, mode, out)
                                     : WriteMarkedLines(a.index, r.firstA, r.endA, skip, most,
                                                        MARK_SAME, mode, out);
        if (!written)
            return false;
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
