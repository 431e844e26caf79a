#include "cli/printers.h"

#include "dump/record_text.h"

#include <string_view>

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
