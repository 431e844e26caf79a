// Deterministic synthetic module-info files, for the tests, the benchmarks and the demo.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

enum SampleShape {
    SAMPLE_MIXED,         // known, top-byte and unknown tags; sizes 0, 16, 17 and large
    SAMPLE_ONE_RECORD,    // the signature record and one record filling the rest
    SAMPLE_EMPTY_RECORDS, // the signature record and then only empty records
};

// Starts with a signature record; exactly totalSize bytes (at least 29, at most 32,000,000)
// and a well-formed record chain. The same arguments always give the same bytes.
std::vector<unsigned char> GenerateSample(SampleShape shape, uint32_t seed, uint32_t totalSize);

bool ParseSampleShape(std::string_view name, SampleShape& shape);
