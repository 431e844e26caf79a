#include "cli/salvage_printers.h"

#include "dump/record_text.h"
#include "dump/salvage_text.h"

#include <new>
#include <vector>

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
                         PrefixFor(nullptr, "", json), out);
}

bool PrintRepaired(const unsigned char* data, uint32_t length, const Salvage& salvage,
                   std::string_view signature, TextOut& out) {
    return WriteRepaired(data, length, salvage, signature,
                         [&](const unsigned char* bytes, size_t count) {
                             return out.Put({reinterpret_cast<const char*>(bytes), count});
                         }) &&
           out.Flush();
}
