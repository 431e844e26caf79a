// The values the page must agree on with the core, told once when it loads: the page repeats
// none of them.
#include "web/core/binding.h"

#include "dump/viewer_dump.h"

#include <string>

namespace {

std::string Pair(const char* name, long value) {
    return std::string("\"") + name + "\": " + std::to_string(value);
}

std::string Kind(RowKind kind, const char* name) {
    return std::string("\"") + char(kind) + "\": \"" + name + "\"";
}

static_assert(HeaderLineTemplate[DumpLineLength - 2] == '\r' &&
              HeaderLineTemplate[DumpLineLength - 1] == '\n');

} // namespace

// One JSON object in the output buffer; its length.
QEF_EXPORT uint32_t qef_constants() {
    std::string noMemory = DumpFailureMessages[DUMP_ALLOCATION_FAILED].text;
    return OutputText(
        "{\"slots\": {" + Pair("shown", SLOT_SHOWN) + ", " + Pair("compared", SLOT_COMPARED) +
        "}, \"modes\": {" + Pair("single", NUMERATION_SINGLE) + ", " +
        Pair("multi", NUMERATION_MULTI) + ", " + Pair("offset", NUMERATION_OFFSET) +
        "}, \"open\": {" + Pair("accepted", OPEN_ACCEPTED) + ", " + Pair("refused", OPEN_REFUSED) +
        "}, \"compare\": {" + Pair("made", COMPARE_MADE) + ", " + Pair("noFile", COMPARE_NO_FILE) +
        "}, \"rowKinds\": {" + Kind(ROW_SAME, "same") + ", " + Kind(ROW_REMOVED, "removed") + ", " +
        Kind(ROW_ADDED, "added") + ", " + Kind(ROW_HUNK, "hunk") + ", " + Kind(ROW_FOLD, "fold") +
        // A marked dump line is DumpLineLength - 1 characters without its LF; the view keeps
        // room to spare after the widest row.
        "}, " + Pair("diffColumns", long(DumpLineLength) + 1) +
        ", \"dumpLineEnd\": \"\\r\\n\", \"noMemory\": \"" + noMemory + "\"}");
}
