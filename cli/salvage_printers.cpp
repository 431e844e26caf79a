#include "cli/salvage_printers.h"

#include "dump/record_text.h"
#include "dump/salvage_text.h"

#include <cinttypes>
#include <cstdio>
#include <new>
#include <vector>

namespace {

constexpr const char* EncodingNames[] = {"hex", "text", "utf-16le"};

// The dump line that shows the byte at `offset` in the salvaged dump: the line of a damaged
// region's bytes, or a record's (its first for a byte of its header), numbered as there.
std::string_view SalvagedLineOf(const unsigned char* data, const SalvageSpan& span,
                                const Record& record, uint32_t offset, Numeration mode,
                                char (&line)[DumpLineLength]) {
    if (span.damaged) {
        uint32_t first = offset - (offset - span.at.offset) % BytesPerLine;
        WriteDamagedLine(data, first, span.at.offset + span.length - first, line);
    } else {
        uint32_t dataAt = record.at.offset + RecordHeaderSize;
        uint32_t subLine = offset < dataAt ? 0 : (offset - dataAt) / BytesPerLine;
        DumpRun run{data, record.Next().offset, record.at, subLine};
        WriteDumpLines(run, mode, line, DumpLineLength, nullptr, nullptr);
    }
    return {line, DumpLineLength - 2};
}

} // namespace

bool PrintSalvagedDump(const unsigned char* data, const Salvage& salvage, Numeration mode,
                       TextOut& out) {
    bool written = true;
    for (const SalvageSpan& span : salvage.spans) {
        if (!span.damaged) {
            // The line writer fills the chunk from its front: what is gathered goes first.
            DumpRun run{data, span.at.offset + span.length, span.at, 0};
            written = out.Flush() && WriteDumpLines(run, mode, out.Chunk(), TextOut::ChunkBytes,
                                                    &out, nullptr) == DUMP_WALK_COMPLETE;
        }
        for (uint32_t k = 0; written && span.damaged && k < span.length; k += BytesPerLine) {
            char* line = out.Room(DumpLineLength);
            if (line)
                WriteDamagedLine(data, span.at.offset + k, span.length - k, line);
            written = line != nullptr;
        }
        if (!written)
            return false;
    }
    return out.Flush();
}

bool PrintSalvagedRecords(const unsigned char* data, const Salvage& salvage, bool json,
                          TextOut& out) {
    return VisitSalvage(
               data, salvage,
               [&](const Record& record) {
                   char line[RecordJsonRoom];
                   char* end = json ? WriteRecordJson(record, line) : WriteRecordLine(record, line);
                   return out.Put({line, size_t(end - line)});
               },
               [&](const SalvageSpan& span) {
                   return out.Put(json ? DamagedRecordJson(span) : DamagedRecordLine(span));
               }) &&
           out.Flush();
}

PrintOutcome PrintSalvagedStats(const unsigned char* data, const Salvage& salvage, bool json,
                                TextOut& out) {
    // The runs of intact records side by side are a whole chain of the same records.
    std::vector<unsigned char> intact;
    try {
        for (const SalvageSpan& span : salvage.spans)
            if (!span.damaged)
                intact.insert(intact.end(), data + span.at.offset,
                              data + span.at.offset + span.length);
    } catch (const std::bad_alloc&) {
        return PRINT_NO_MEMORY;
    }
    return PrintTagStats(intact.data(), uint32_t(intact.size()), RecordSelection{},
                         PrefixFor(nullptr, json), out);
}

PrintOutcome PrintSalvagedHits(const unsigned char* data, uint32_t length, const Salvage& salvage,
                               const SearchQuery& query, Numeration mode, bool json, TextOut& out,
                               uint64_t& hits) {
    // The spans as pieces of the file: the search reads the bytes alone, and a hit's piece is
    // the span that holds its first byte.
    std::vector<uint32_t> starts;
    try {
        for (const SalvageSpan& span : salvage.spans)
            starts.push_back(span.at.offset);
    } catch (const std::bad_alloc&) {
        return PRINT_NO_MEMORY;
    }
    RecordIndex pieces;
    if (!pieces.BuildPieces(data, starts.data(), uint32_t(starts.size()), length))
        return PRINT_NO_MEMORY;
    HitCursor cursor(pieces, query);
    SearchHit hit;
    // The intact record that holds the last hit's first byte, followed forward, and its span.
    Record record{};
    const SalvageSpan* followed = nullptr;
    bool written = true;
    while (written && cursor.Next(hit)) {
        const SalvageSpan& span = salvage.spans[hit.record];
        if (!span.damaged && &span != followed)
            record = RecordAt(data, span.at);
        followed = &span;
        while (!span.damaged && record.Next().offset <= hit.offset)
            record = RecordAt(data, record.Next());
        ++hits;
        const char* encoding = EncodingNames[query.patterns[hit.pattern].encoding];
        char line[256];
        int size = 0;
        if (json && span.damaged)
            size = std::snprintf(line, sizeof line,
                                 "{\"damaged\": true, \"offset\": %" PRIu32 ", \"length\": %" PRIu32
                                 ", \"encoding\": \"%s\"}\n",
                                 hit.offset, hit.length, encoding);
        else if (json)
            size = std::snprintf(line, sizeof line,
                                 "{\"record\": %" PRIu32 ", \"offset\": %" PRIu32
                                 ", \"length\": %" PRIu32 ", \"encoding\": \"%s\"}\n",
                                 record.Number(), hit.offset, hit.length, encoding);
        else {
            char dumpLine[DumpLineLength];
            std::string_view shown = SalvagedLineOf(data, span, record, hit.offset, mode, dumpLine);
            std::string number = span.damaged ? "damaged" : std::to_string(record.Number());
            std::string_view name = span.damaged ? "(no record)" : LookupTagName(record.tag);
            size = std::snprintf(line, sizeof line, "%10s  %08" PRIX32 "  %-12.*s  %.*s\n",
                                 number.c_str(), hit.offset, int(name.size()), name.data(),
                                 int(shown.size()), shown.data());
        }
        written = out.Put({line, size_t(size)});
    }
    if (cursor.Failed())
        return PRINT_NO_MEMORY;
    return written && out.Flush() ? PRINT_DONE : PRINT_WRITE_FAILED;
}

bool PrintRepaired(const unsigned char* data, uint32_t length, const Salvage& salvage,
                   std::string_view signature, TextOut& out) {
    return WriteRepaired(data, length, salvage, signature,
                         [&](const unsigned char* bytes, size_t count) {
                             return out.Put({reinterpret_cast<const char*>(bytes), count});
                         }) &&
           out.Flush();
}
