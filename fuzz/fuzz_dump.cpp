// The dump core on any input against the model, in each numeration mode, the index and runs of
// the dump included; the input's hash chooses the walk's buffer, where its sink gives up, and a
// target fault for one more run.
#include "dump/module_info.h"
#include "tests/support/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > MaxModuleInfoLength)
        return -1;
    uint32_t hash = 2166136261u; // FNV-1a: any change to the input moves every choice
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 16777619u;
    for (Numeration mode : {NUMERATION_SINGLE, NUMERATION_MULTI, NUMERATION_OFFSET}) {
        Require(CheckFormat(bytes, uint32_t(size), mode));
        Require(CheckRuns(bytes, uint32_t(size), mode));
        uint32_t choice = hash ^ (uint32_t(mode) * 0x9E3779B9u);
        // From no line up to a few more than the dump has, with a few bytes of slack.
        size_t lines = choice % (size / RecordHeaderSize + 4);
        size_t capacity = lines * DumpLineLength + (choice >> 16) % DumpLineLength;
        Require(CheckWalk(bytes, uint32_t(size), mode, capacity, (choice >> 8) % 5));
    }
    TargetFaults faults{(hash & 1) != 0, (hash & 2) != 0, (hash & 4) != 0};
    Require(CheckFormat(bytes, uint32_t(size), Numeration(1 + hash / 8 % 3), faults));
    return 0;
}
