// Shared by the fuzz targets: a check that aborts, and a hash of the input to steer choices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// libFuzzer turns the abort into a crash report and keeps the input that caused it.
inline void Require(const std::string& problems) {
    if (!problems.empty()) {
        std::fprintf(stderr, "fuzz check failed: %s\n", problems.c_str());
        std::abort();
    }
}

// FNV-1a: any change to the input moves every choice derived from it.
inline uint32_t HashInput(const uint8_t* bytes, size_t size) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}
