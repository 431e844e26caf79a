// What the halves of the binding share: the files it holds open, the one buffer every text
// goes back to the page through and the one the page writes its queries into (binding.cpp),
// and the values the page is told once (qef_constants).
#pragma once

#include "dump/diff_hunks.h"
#include "dump/record_index.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>

// Exported to the page under its own name, with C linkage so that the name stays plain.
#define QEF_EXPORT extern "C" __attribute__((used, visibility("default")))

struct SalvagedView; // what survives of a damaged file (salvage.cpp)

// A file read into the module's memory: checked, and indexed when accepted. A damaged file the
// reader asked to see is accepted as what survives of it: `index` then holds its intact records
// put end to end (the repaired file), which Compare and Statistics see as any file's records,
// and `salvage` the view of the file as it is, records and damaged regions at their offsets.
struct OpenFile {
    std::unique_ptr<unsigned char[]> bytes;
    uint32_t length = 0;
    bool accepted = false;
    RecordIndex index;
    std::shared_ptr<const SalvagedView> salvage;
    uint32_t opened = 0; // which open of the module's life this is, so that a change is seen
};

// The file shown and the one it is compared with. A file read for a slot waits beside it, in
// the slot's incoming file, until it is accepted: a refused or unreadable file leaves the slot, and
// the comparison that points into it, as they were.
enum FileSlot { SLOT_SHOWN = 0, SLOT_COMPARED = 1, SLOT_COUNT = 2 };

bool IsSlot(int slot);
// nullptr for a slot that does not exist or holds no accepted file, so that no call from the
// page can reach past what is open.
OpenFile* AcceptedFile(int slot);
// The file read for the slot, accepted or not yet checked; nullptr for a slot that does not
// exist.
OpenFile* IncomingFile(int slot);
// The accepted file that waits to take the compared slot once the comparison with it is made;
// nullptr when there is none.
OpenFile* IncomingCompared();
// Puts the incoming compared file in its slot, and the one there in its place.
void SwapCompared();

// Room for a text of `bytes` in the output buffer, kept from call to call; nullptr when
// memory ran out. The page reads the text at QefOutput() right after the call that made it.
char* OutputRoom(size_t bytes);
// Copies `text` into the output buffer: its length, or 0 when memory ran out.
uint32_t OutputText(const std::string& text);
// The same for the text `make()` returns, 0 too when making it ran out of memory.
template <class Make> uint32_t OutputOf(Make make) {
    try {
        return OutputText(make());
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

// Forgets the slot's incoming file.
QEF_EXPORT void qef_drop(int slot);

// The query the page wrote at qef_query_room, `length` bytes; empty when it wrote none that long.
std::string_view QueryText(uint32_t length);
QEF_EXPORT char* qef_query_room(uint32_t bytes);

// What qef_open answers.
enum OpenResult { OPEN_ACCEPTED, OPEN_REFUSED, OPEN_NO_MEMORY };
// What qef_search looks for and how, and what it and qef_find answer when they find no offset:
// none, a query it cannot read (for qef_find, an empty one), memory that ran out.
enum SearchKind { SEARCH_TEXT = 0, SEARCH_HEX = 1 };
enum SearchFlags { SEARCH_MATCH_CASE = 1, SEARCH_UTF16 = 2 };
enum SearchResult { SEARCH_NONE = -1, SEARCH_BAD_QUERY = -2, SEARCH_NO_MEMORY = -3 };

// What qef_compare answers: memory that ran out is told apart from a file that is not there.
enum CompareResult { COMPARE_NO_MEMORY, COMPARE_MADE, COMPARE_NO_FILE };

// The first character of each row of a comparison: a diff line's own marker, or what the row
// stands for.
enum RowKind : char {
    ROW_SAME = MARK_SAME,
    ROW_REMOVED = MARK_REMOVED,
    ROW_ADDED = MARK_ADDED,
    ROW_HUNK = '@',
    ROW_FOLD = '=',
};
