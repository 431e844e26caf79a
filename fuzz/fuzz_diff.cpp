// The record diff on any pair of files: the input's first byte says where to cut the rest in
// two, A and B. Whatever records fit in each are diffed and held against the rules every diff
// keeps; pairs of few records must also get a shortest script.
#include "tests/support/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 1 || size > 65536)
        return -1;
    const unsigned char* rest = bytes + 1;
    size_t length = size - 1, cut = length * bytes[0] / 255;
    RecordIndex a, b;
    if (!a.Build(rest, uint32_t(cut)) || !b.Build(rest + cut, uint32_t(length - cut)))
        return 0;
    bool small = a.Count() <= 200 && b.Count() <= 200;
    Require(CheckDiff(a, b, bytes[0] % 4, small));
    return 0;
}
