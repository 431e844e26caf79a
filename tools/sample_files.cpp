#include "tools/sample_files.h"

#include "dump/line_writer.h"
#include "dump/module_info.h"

#include <cstring>

namespace {

// splitmix64: tiny, fast and fully specified, so a seed gives the same file on every compiler
// and standard library.
class SampleRandom {
  public:
    explicit SampleRandom(uint32_t seed) : state_(0x51E0F11E00000000ull ^ seed) {}

    uint64_t Next() {
        uint64_t z = state_ += 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform enough for picking shapes; the modulo bias is irrelevant here.
    uint32_t Below(uint32_t bound) { return uint32_t(Next() % bound); }

    void Fill(unsigned char* bytes, size_t count) {
        while (count >= 8) {
            uint64_t word = Next();
            for (int k = 0; k < 8; ++k)
                bytes[k] = (unsigned char)(word >> (8 * k));
            bytes += 8;
            count -= 8;
        }
        uint64_t word = Next();
        for (size_t k = 0; k < count; ++k)
            bytes[k] = (unsigned char)(word >> (8 * k));
    }

  private:
    uint64_t state_;
};

static_assert(sizeof SampleSignatureText - 1 == SignatureLength);
constexpr uint32_t SignatureRecordSize = RecordHeaderSize + SignatureLength;

// Kind bytes that name a record by the top byte alone (the "NM_" kinds).
constexpr unsigned char TopByteKinds[] = {0x00, 0x30, 0x31, 0x36, 0x3A, 0x40,
                                          0x43, 0x48, 0x4D, 0xFE, 0xFF};

class SampleWriter {
  public:
    SampleWriter(std::vector<unsigned char>& file, SampleRandom& random)
        : file_(file), random_(random) {}

    // The caller has checked that the record fits.
    void Record(uint32_t tag, uint32_t size) {
        unsigned char* record = file_.data() + offset_;
        WriteUint32Le(record, tag);
        WriteUint32Le(record + 4, size);
        random_.Fill(record + RecordHeaderSize, size);
        offset_ += RecordHeaderSize + size;
    }

    void SignatureRecord(uint32_t size) {
        unsigned char* record = file_.data() + offset_;
        Record(SampleSignatureTag, size);
        std::memcpy(record + SignatureOffset, SampleSignatureText, SignatureLength);
    }

    uint32_t Left() const { return uint32_t(file_.size()) - offset_; }

  private:
    static void WriteUint32Le(unsigned char* bytes, uint32_t value) {
        for (int k = 0; k < 4; ++k)
            bytes[k] = (unsigned char)(value >> (8 * k));
    }

    std::vector<unsigned char>& file_;
    SampleRandom& random_;
    uint32_t offset_ = 0;
};

uint32_t MixedTag(SampleRandom& random) {
    uint32_t pick = random.Below(100);
    if (pick < 50)
        return TagNameTable[random.Below(TagNameCount)].tag;
    if (pick < 80) {
        uint32_t kind = TopByteKinds[random.Below(sizeof TopByteKinds)];
        return kind << 24 | (uint32_t(random.Next()) & 0x00FFFFFF);
    }
    return uint32_t(random.Next());
}

uint32_t MixedSize(SampleRandom& random) {
    uint32_t pick = random.Below(100);
    if (pick < 20)
        return 0;
    if (pick < 35)
        return 16;
    if (pick < 50)
        return 17;
    if (pick < 97)
        return 1 + random.Below(300);
    return 4096 + random.Below(100 * 1024 - 4096);
}

// A record of `wanted` bytes, unless the tail behind it would be too short for a header: then
// the record takes the tail as well, so that the chain ends exactly at the end of the file.
uint32_t FittedSize(uint32_t wanted, uint32_t left) {
    uint32_t most = left - RecordHeaderSize;
    if (wanted > most || most - wanted < RecordHeaderSize)
        return most;
    return wanted;
}

void WriteMixed(SampleWriter& writer, SampleRandom& random) {
    uint32_t signatureExtra = random.Below(16);
    writer.SignatureRecord(FittedSize(SignatureLength + signatureExtra, writer.Left()));
    while (writer.Left() > 0) {
        uint32_t tag = MixedTag(random);
        writer.Record(tag, FittedSize(MixedSize(random), writer.Left()));
    }
}

void WriteOneRecord(SampleWriter& writer, SampleRandom& random) {
    writer.SignatureRecord(FittedSize(SignatureLength, writer.Left()));
    if (writer.Left() > 0)
        writer.Record(MixedTag(random), writer.Left() - RecordHeaderSize);
}

void WriteEmptyRecords(SampleWriter& writer, SampleRandom& random) {
    writer.SignatureRecord(SignatureLength +
                           (writer.Left() - SignatureRecordSize) % RecordHeaderSize);
    while (writer.Left() > 0)
        writer.Record(MixedTag(random), 0);
}

struct ShapeName {
    const char* name;
    SampleShape shape;
};

constexpr ShapeName ShapeNames[] = {
    {"mixed", SAMPLE_MIXED},
    {"one-record", SAMPLE_ONE_RECORD},
    {"empty-records", SAMPLE_EMPTY_RECORDS},
};

} // namespace

std::vector<unsigned char> GenerateSample(SampleShape shape, uint32_t seed, uint32_t totalSize) {
    // Out of range there is no such file; an empty one is safe for every caller.
    if (totalSize < SignatureRecordSize || totalSize > MaxModuleInfoLength)
        return {};
    std::vector<unsigned char> file(totalSize);
    SampleRandom random(seed);
    SampleWriter writer(file, random);
    switch (shape) {
    case SAMPLE_MIXED:
        WriteMixed(writer, random);
        break;
    case SAMPLE_ONE_RECORD:
        WriteOneRecord(writer, random);
        break;
    case SAMPLE_EMPTY_RECORDS:
        WriteEmptyRecords(writer, random);
        break;
    }
    return file;
}

std::string SampleBytes(SampleShape shape, uint32_t seed, uint32_t totalSize) {
    std::vector<unsigned char> bytes = GenerateSample(shape, seed, totalSize);
    return {bytes.begin(), bytes.end()};
}

bool ParseSampleShape(std::string_view name, SampleShape& shape) {
    for (const ShapeName& entry : ShapeNames) {
        if (name == entry.name) {
            shape = entry.shape;
            return true;
        }
    }
    return false;
}
