// FormatModuleInfo on any input, in each numeration mode, held against the model: the model's
// text on success, the one right message and the target untouched on a refusal. A fourth run,
// chosen by the input, makes the allocation, the release or the text fail.
#include "fuzz/fuzz_support.h"

#include "tests/support/dump_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > MaxModuleInfoLength)
        return -1;
    for (Numeration mode : {NUMERATION_SINGLE, NUMERATION_MULTI, NUMERATION_OFFSET})
        Require(CheckFormat(bytes, uint32_t(size), mode));
    uint32_t hash = HashInput(bytes, size);
    TargetFaults faults{(hash & 1) != 0, (hash & 2) != 0, (hash & 4) != 0};
    Require(
        CheckFormat(bytes, uint32_t(size), Numeration(NUMERATION_SINGLE + hash / 8 % 3), faults));
    return 0;
}
