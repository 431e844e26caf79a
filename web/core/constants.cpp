// The values the page must agree on with the core, told once when it loads: the page repeats
// none of them.
#include "web/core/binding.h"

#include "dump/json_text.h"
#include "dump/line_layout.h"
#include "dump/viewer_dump.h"

#include <initializer_list>
#include <iterator>
#include <string>

namespace {

using Members = std::initializer_list<std::string>;

std::string Name(const char* name) {
    return std::string("\"") + name + "\": ";
}

// `{members}`, or `"name": {members}` with a name.
std::string Object(Members members, const char* name = nullptr) {
    std::string text = name ? Name(name) + "{" : "{";
    for (const std::string& member : members)
        text += (text.back() == '{' ? "" : ", ") + member;
    return text + "}";
}

// `"name": [item(0), ... item(count - 1)]`
template <class Item> std::string List(const char* name, size_t count, Item item) {
    std::string text = Name(name) + "[";
    for (size_t k = 0; k < count; ++k)
        text += (k ? ", " : "") + item(k);
    return text + "]";
}

std::string Pair(const char* name, long value) {
    return Name(name) + std::to_string(value);
}

std::string Kind(RowKind kind, const char* name) {
    return std::string("\"") + char(kind) + "\": \"" + name + "\"";
}

std::string Text(const char* name, std::string_view value) {
    std::string text = Name(name);
    AppendJsonString(text, value);
    return text;
}

static_assert(HeaderLineTemplate[DumpLineLength - 2] == '\r' &&
              HeaderLineTemplate[DumpLineLength - 1] == '\n');

} // namespace

// One JSON object in the output buffer; its length.
QEF_EXPORT uint32_t qef_constants() {
    return OutputOf([] {
        return Object({
            Object({Pair("shown", SLOT_SHOWN), Pair("compared", SLOT_COMPARED)}, "slots"),
            Object({Pair("single", NUMERATION_SINGLE), Pair("multi", NUMERATION_MULTI),
                    Pair("offset", NUMERATION_OFFSET)},
                   "modes"),
            Object({Pair("accepted", OPEN_ACCEPTED), Pair("refused", OPEN_REFUSED)}, "open"),
            Object({Pair("made", COMPARE_MADE), Pair("noFile", COMPARE_NO_FILE)}, "compare"),
            Object({Kind(ROW_SAME, "same"), Kind(ROW_REMOVED, "removed"), Kind(ROW_ADDED, "added"),
                    Kind(ROW_HUNK, "hunk"), Kind(ROW_FOLD, "fold")},
                   "rowKinds"),
            // A marked dump line is DumpLineLength - 1 characters without its LF; the view keeps
            // room to spare after the widest row.
            Pair("diffColumns", long(DumpLineLength) + 1),
            Text("dumpLineEnd", "\r\n"),
            // Where a line shows each of its bytes, and a record's first line its header's.
            Object({Pair("recordHeader", RecordHeaderSize),
                    List("hexColumns", BytesPerLine,
                         [](size_t k) { return std::to_string(HexColumnOf(k)); }),
                    List("charColumns", BytesPerLine,
                         [](size_t k) { return std::to_string(CharColumnOf(k)); }),
                    List("headerFields", std::size(HeaderFields),
                         [](size_t k) {
                             const ColumnSpan& field = HeaderFields[k];
                             return Object(
                                 {Pair("from", long(field.from)), Pair("to", long(field.to))});
                         })},
                   "line"),
            Object({Object({Pair("text", SEARCH_TEXT), Pair("hex", SEARCH_HEX)}, "kinds"),
                    Object({Pair("matchCase", SEARCH_MATCH_CASE), Pair("utf16", SEARCH_UTF16)},
                           "flags"),
                    Object({Pair("none", SEARCH_NONE), Pair("badQuery", SEARCH_BAD_QUERY),
                            Pair("noMemory", SEARCH_NO_MEMORY)},
                           "results")},
                   "search"),
            Text("noMemory", DumpFailureMessages[DUMP_ALLOCATION_FAILED].text),
        });
    });
}
