#include "dump/records.h"

RecordWalk PlanDump(const unsigned char* data, uint32_t length) {
    return WalkRecords<EMPTY_RUNS_AT_ONCE>(data, length, {}, [](const Record&) { return true; });
}
