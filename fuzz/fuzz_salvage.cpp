// The salvage walk on any input: every byte in exactly one record or damaged region, the
// regions never side by side, each run of records a chain the ordinary walk takes whole, the
// numbers and lines counted on from span to span, and a whole chain left as it is.
#include "dump/salvage.h"
#include "tests/support/checks.h"

#include <string>

namespace {

std::string CheckSpans(const unsigned char* data, uint32_t length, const Salvage& salvage) {
    RecordPosition next{};
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
        next = {next.offset + span.length, next.record + span.records, next.line + span.lines};
    }
    if (next.offset != length || next.record != salvage.records || next.line != salvage.lines)
        return "the spans do not cover the input";
    RecordWalk whole = PlanDump(data, length);
    if (whole.end == RECORDS_COMPLETE && (!salvage.Whole() || salvage.records != whole.next.record))
        return "a whole chain salvaged otherwise";
    return "";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > 1 << 20)
        return -1;
    Salvage salvage;
    Require(SalvageFile(bytes, uint32_t(size), salvage) ? "" : "out of memory");
    Require(CheckSpans(bytes, uint32_t(size), salvage));
    return 0;
}
