#include "tests/support/checks.h"

std::string CheckSalvage(const unsigned char* data, uint32_t length, const Salvage& salvage) {
    RecordPosition next{};
    uint32_t damaged = 0;
    bool lastDamaged = false;
    for (const SalvageSpan& span : salvage.spans) {
        if (span.at.offset != next.offset || span.at.record != next.record ||
            span.at.line != next.line || span.length == 0)
            return "a span does not start where the one before ended";
        if (span.damaged) {
            if (lastDamaged || span.records != 0 || span.lines != LinesOfDamage(span.length))
                return "a damaged region beside another, or with records";
        } else {
            uint32_t end = span.at.offset + span.length;
            RecordWalk walk = WalkRecords(data, end, span.at, [](const Record&) { return true; });
            if (walk.end != RECORDS_COMPLETE || walk.next.record != next.record + span.records ||
                walk.next.line != next.line + span.lines || span.records == 0)
                return "a run of records that the walk does not take whole";
        }
        lastDamaged = span.damaged;
        damaged += span.damaged ? span.length : 0;
        next = {next.offset + span.length, next.record + span.records, next.line + span.lines};
    }
    if (next.offset != length || next.record != salvage.records || next.line != salvage.lines ||
        damaged != salvage.damagedBytes)
        return "the spans do not cover the input, or their counts do not add up";
    RecordWalk whole = PlanDump(data, length);
    if (whole.end == RECORDS_COMPLETE && (!salvage.Whole() || salvage.records != whole.next.record))
        return "a whole chain salvaged otherwise";
    return "";
}
