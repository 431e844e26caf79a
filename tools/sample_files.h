// Deterministic synthetic module-info files, for the tests, the benchmarks and the demo.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The signature record's tag (4D 6F 64 00 read little-endian) and the text every sample signs with.
constexpr uint32_t SampleSignatureTag = 0x00646F4D;
constexpr char SampleSignatureText[] = "Module info file v2.0";

enum SampleShape {
    SAMPLE_MIXED,         // known, top-byte and unknown tags; sizes 0, 16, 17 and large
    SAMPLE_ONE_RECORD,    // the signature record and one record filling the rest
    SAMPLE_EMPTY_RECORDS, // the signature record and then only empty records
};

// Starts with a signature record; exactly totalSize bytes (at least 29, at most 32,000,000)
// and a well-formed record chain. The same arguments always give the same bytes.
std::vector<unsigned char> GenerateSample(SampleShape shape, uint32_t seed, uint32_t totalSize);
// The same bytes in a string, for those that hold files as strings.
std::string SampleBytes(SampleShape shape, uint32_t seed, uint32_t totalSize);

bool ParseSampleShape(std::string_view name, SampleShape& shape);

// Appends one record made by hand, to a byte vector or a string: the tag, the size its header
// declares (by default that of `data`, or any other for a broken file), then `data`.
template <typename File>
void AppendRecord(File& file, uint32_t tag, std::string_view data, int64_t declared = -1) {
    for (uint32_t value : {tag, uint32_t(declared < 0 ? int64_t(data.size()) : declared)})
        for (int shift = 0; shift < 32; shift += 8)
            file.push_back(static_cast<typename File::value_type>(value >> shift));
    file.insert(file.end(), data.begin(), data.end());
}

// The signature record alone: the signature's text (by default the usual one), then `zeros`
// zero bytes of its data.
template <typename File = std::vector<unsigned char>>
File SignatureFile(std::string_view text = SampleSignatureText, size_t zeros = 0) {
    File file;
    AppendRecord(file, SampleSignatureTag, std::string(text) + std::string(zeros, '\0'));
    return file;
}
