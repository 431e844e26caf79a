#include "cli/printers.h"

#include "dump/record_text.h"

#include <string_view>

bool PrintDump(const unsigned char* data, uint32_t length, Numeration mode, TextOut& out) {
    return WriteDumpLines(WholeDump(data, length), mode, out.Chunk(), TextOut::ChunkBytes, &out,
                          nullptr) == DUMP_WALK_COMPLETE;
}

bool PrintRecordList(const unsigned char* data, uint32_t length, bool json, TextOut& out) {
    static_assert(RecordJsonRoom >= RecordLineLength);
    RecordWalk walk = WalkRecords(data, length, {}, [&](const Record& record) {
        char line[RecordJsonRoom];
        char* end = json ? WriteRecordJson(record, line) : WriteRecordLine(record, line);
        return out.Put({line, size_t(end - line)});
    });
    return walk.end == RECORDS_COMPLETE && out.Flush();
}

bool FindRecord(const unsigned char* data, uint32_t length, uint32_t number, Record& record,
                uint32_t& count) {
    RecordWalk walk = WalkRecords(data, length, {}, [&](const Record& found) {
        record = found;
        return found.Number() != number;
    });
    count = walk.next.record;
    return walk.end == RECORDS_STOPPED;
}

bool PrintRecordData(const Record& record, TextOut& out) {
    return out.Put({reinterpret_cast<const char*>(record.data), record.size}) && out.Flush();
}
