// The salvage walk on any input, held to the rules of CheckSalvage.
#include "dump/salvage.h"
#include "tests/support/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > 1 << 20)
        return -1;
    Salvage salvage;
    Require(SalvageFile(bytes, uint32_t(size), salvage) ? "" : "out of memory");
    Require(CheckSalvage(bytes, uint32_t(size), salvage));
    return 0;
}
