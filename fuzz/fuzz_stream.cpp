// The header pass and the streaming walk (every data-column writer, through a buffer and a
// sink) on any input, in each numeration mode, held against the model. The buffer's size and
// the call at which a sink gives up come from the input.
#include "fuzz/fuzz_support.h"

#include "dump/module_info.h"
#include "tests/support/dump_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > MaxModuleInfoLength)
        return -1;
    uint32_t hash = HashInput(bytes, size);
    for (Numeration mode : {NUMERATION_SINGLE, NUMERATION_MULTI, NUMERATION_OFFSET}) {
        uint32_t choice = hash ^ (uint32_t(mode) * 0x9E3779B9u);
        // From no line up to a few more than the dump has, with a few bytes of slack.
        size_t lines = choice % (size / RecordHeaderSize + 4);
        size_t capacity = lines * DumpLineLength + (choice >> 16) % DumpLineLength;
        Require(CheckWalk(bytes, uint32_t(size), mode, capacity, (choice >> 8) % 5));
    }
    return 0;
}
