// The page's queries of the shown file: a search of its bytes (text or hexadecimal, wrapping
// either way), the values at a byte for the data inspector, and the records and bytes per tag.
// Values and counts go back as JSON text, 64-bit integers as strings so that none is rounded.
#include "web/core/binding.h"
#include "web/core/salvage.h"

#include "dump/byte_search.h"
#include "dump/byte_text.h"
#include "dump/json_text.h"
#include "dump/record_select.h"
#include "dump/tag_count.h"
#include "dump/record_text.h"
#include "dump/value_read.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

SearchHit lastHit{};
constexpr size_t TagCountWords = 4;
constexpr size_t TagHexLength = 8;
constexpr uint32_t MostInspectedText = 48; // bytes of the text at the cursor

// The bytes as the dump's character column shows them: printable ASCII, else '.'.
std::string Printable(std::string_view bytes) {
    std::string text(bytes);
    for (char& c : text)
        c = ByteTexts.shown[static_cast<unsigned char>(c)];
    return text;
}

// Shortest text that reads back as `value`, as a float when `single` (0.1f is 0.1, not the
// double nearest to it); names for what JSON has no number for.
void AppendNumber(std::string& out, double value, bool single = false) {
    if (std::isnan(value)) {
        out += "\"NaN\"";
    } else if (std::isinf(value)) {
        out += value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
    } else {
        char text[32];
        for (int digits = 1; digits <= 17; ++digits) {
            std::snprintf(text, sizeof text, "%.*g", digits, value);
            if (single ? std::strtof(text, nullptr) == float(value)
                       : std::strtod(text, nullptr) == value)
                break;
        }
        out += text;
    }
}

// The pieces of the file a search or the inspector reads: its records, and a salvaged file's
// damaged regions between them.
const RecordIndex& Pieces(const OpenFile& file) {
    return file.salvage ? SalvagePieces(*file.salvage) : file.index;
}

} // namespace

// The next (or with `backward`, the previous) hit of the query the page wrote at qef_query_room
// from byte `from`, wrapping round the file: its offset, its length then from qef_hit_length;
// else a SearchResult.
QEF_EXPORT double qef_search(int slot, uint32_t length, int kind, int flags, double from,
                             int backward) try {
    OpenFile* file = AcceptedFile(slot);
    std::string_view typed = QueryText(length);
    if (!file)
        return SEARCH_BAD_QUERY;
    SearchQuery query;
    bool made = kind == SEARCH_HEX ? ParseHexPattern(typed, query)
                                   : MakeTextQuery(typed, !(flags & SEARCH_MATCH_CASE),
                                                   (flags & SEARCH_UTF16) != 0, query);
    if (!made)
        return SEARCH_BAD_QUERY;
    const RecordIndex& index = Pieces(*file);
    uint32_t start = from >= 0 && from < index.Length() ? uint32_t(from) : 0;
    bool found = backward ? FindPreviousHit(index, query, start, lastHit)
                          : FindNextHit(index, query, start, lastHit);
    return found ? double(lastHit.offset) : double(SEARCH_NONE);
} catch (const std::bad_alloc&) {
    return SEARCH_NO_MEMORY;
}

QEF_EXPORT uint32_t qef_hit_length() {
    return lastHit.length;
}

// The values at byte `offset` as a JSON object, in the output buffer: its length, 0 when the
// offset is not in the file or memory ran out. A width that does not fit before the record's
// end (or the damaged region's) has "fits": false; "record" is -1 in a damaged region.
QEF_EXPORT uint32_t qef_values(int slot, double offset) {
    OpenFile* file = AcceptedFile(slot);
    ValuesAt values;
    if (!file || !(offset >= 0 && offset < file->length) ||
        !ReadValuesAt(Pieces(*file), uint32_t(offset), MostInspectedText, values))
        return 0;
    int64_t record =
        file->salvage ? SalvageRecordOfRow(*file->salvage, values.record) : values.record;
    return OutputOf([&] {
        std::string out = "{\"record\": " + std::to_string(record) +
                          ", \"available\": " + std::to_string(values.available) + ", \"ints\": [";
        for (int k = 0; k < ValueWidthCount; ++k) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "%s{\"bytes\": %" PRIu32 ", \"fits\": %s, \"uintLe\": \"%" PRIu64
                          "\", \"intLe\": \"%" PRId64 "\", \"uintBe\": \"%" PRIu64
                          "\", \"intBe\": \"%" PRId64 "\"}",
                          k ? ", " : "", ValueWidths[k], values.fits[k] ? "true" : "false",
                          values.little[k], values.signedLittle[k], values.big[k],
                          values.signedBig[k]);
            out += text;
        }
        out += "], \"float32Le\": ";
        AppendNumber(out, values.float32Little, true);
        out += ", \"float32Be\": ";
        AppendNumber(out, values.float32Big, true);
        out += ", \"float64Le\": ";
        AppendNumber(out, values.float64Little);
        out += ", \"float64Be\": ";
        AppendNumber(out, values.float64Big);
        out += ", \"ascii\": ";
        AppendJsonString(out, Printable(values.ascii));
        out += ", \"utf16\": ";
        AppendJsonString(out, values.utf16);
        return out + "}";
    });
}

// Records and data bytes per tag, in the order tags first appear, as TagCountWords numbers
// each in the output buffer (a file's data bytes stay below 2^32): tag, first record (from 0),
// records, data bytes. The number of tags, -1 when memory ran out. The page's worker keeps
// these as numbers, sorts them and asks for the names of the rows it shows, so that millions of
// tags never become millions of texts.
QEF_EXPORT int32_t qef_tag_counts(int slot) try {
    OpenFile* file = AcceptedFile(slot);
    std::vector<TagCount> counts;
    if (!file)
        return 0;
    const RecordIndex& index = file->index;
    if (!CountTags(index.Data(), index.Length(), RecordSelection(), counts))
        return -1;
    auto* words = reinterpret_cast<uint32_t*>(OutputRoom(counts.size() * TagCountWords * 4));
    if (!words)
        return -1;
    for (size_t k = 0; k < counts.size(); ++k) {
        uint32_t* at = words + k * TagCountWords;
        at[0] = counts[k].tag, at[1] = counts[k].first, at[2] = counts[k].records,
        at[3] = uint32_t(counts[k].bytes);
    }
    return int32_t(counts.size());
} catch (const std::bad_alloc&) {
    return -1;
}

// The tag in hexadecimal, a space, then its name as the record list shows it, trimmed, in the
// output buffer: its length, 0 when memory ran out.
QEF_EXPORT uint32_t qef_tag_text(uint32_t tag) {
    char hex[TagHexLength];
    return OutputOf([&] {
        return std::string(hex, WriteTagHex(tag, hex)) + " " + std::string(TrimmedTagName(tag));
    });
}
