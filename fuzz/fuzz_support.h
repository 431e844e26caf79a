// Shared by the fuzz targets: the input as the loader hands it over, and a check that aborts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

// libFuzzer turns the abort into a crash report and keeps the input that caused it.
inline void Require(const std::string& problems) {
    if (!problems.empty()) {
        std::fprintf(stderr, "fuzz check failed: %s\n", problems.c_str());
        std::abort();
    }
}

// An exactly sized heap block holding the bytes and the one NUL the loader puts after them, so
// that AddressSanitizer reports any read past the terminator.
class LoadedInput {
  public:
    LoadedInput(const uint8_t* bytes, size_t size)
        : block_(new unsigned char[size + 1]), length_(uint32_t(size)) {
        if (size != 0)
            std::memcpy(block_.get(), bytes, size);
        block_[size] = 0;
    }

    const unsigned char* Data() const { return block_.get(); }
    uint32_t Length() const { return length_; }

  private:
    std::unique_ptr<unsigned char[]> block_;
    uint32_t length_;
};

// FNV-1a: any change to the input moves every choice derived from it.
inline uint32_t HashInput(const uint8_t* bytes, size_t size) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}
