// The record diff of two 32,000,000-byte files, in memory, its text counted and dropped: files
// that differ in a few records, files that share no record at all, one record inserted at the
// front, and the search's worst case, two random orders of the same two records.
#include "cli/diff.h"
#include "dump/module_info.h"
#include "tools/sample_files.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr uint32_t SampleSize = MaxModuleInfoLength;

// Runs `change` on every record after the signature record.
template <typename Change> void ForEachRecord(Bytes& file, Change change) {
    uint32_t offset = RecordHeaderSize + ReadRecordHeader(file.data()).size;
    for (uint32_t number = 0; offset < file.size(); ++number) {
        change(file.data() + offset, number);
        offset += RecordHeaderSize + ReadRecordHeader(file.data() + offset).size;
    }
}

// A few data bytes changed, in one record of every 2,000.
std::pair<Bytes, Bytes> NearIdentical() {
    Bytes a = GenerateSample(SAMPLE_MIXED, 1, SampleSize), b = a;
    ForEachRecord(b, [](unsigned char* record, uint32_t number) {
        if (number % 2000 == 1000 && ReadRecordHeader(record).size > 0)
            record[RecordHeaderSize] ^= 1;
    });
    return {a, b};
}

// 4,000,000 empty records each, told apart by the lowest tag bit, and the two signatures.
std::pair<Bytes, Bytes> Disjoint() {
    Bytes a = GenerateSample(SAMPLE_EMPTY_RECORDS, 1, SampleSize);
    Bytes b = GenerateSample(SAMPLE_EMPTY_RECORDS, 2, SampleSize);
    ForEachRecord(a, [](unsigned char* record, uint32_t) { record[0] &= 0xFE; });
    ForEachRecord(b, [](unsigned char* record, uint32_t) { record[0] |= 1; });
    std::memcpy(b.data() + SignatureOffset, "Module info file v1.1", SignatureLength);
    return {a, b};
}

// B is A with a record of 100 bytes in front of all but the signature record.
std::pair<Bytes, Bytes> InsertedAtFront() {
    constexpr uint32_t Inserted = 100;
    Bytes a = GenerateSample(SAMPLE_MIXED, 1, SampleSize - Inserted);
    uint32_t front = RecordHeaderSize + ReadRecordHeader(a.data()).size;
    Bytes record(Inserted, 0x41);
    std::memcpy(record.data(),
                "\x0A"
                "Dat",
                4);
    record[4] = Inserted - RecordHeaderSize;
    std::memset(record.data() + 5, 0, 3);
    Bytes b = a;
    b.insert(b.begin() + front, record.begin(), record.end());
    return {a, b};
}

// Empty records of two tags in two random orders: many equal records, no long run alike.
std::pair<Bytes, Bytes> Shuffled() {
    Bytes a = GenerateSample(SAMPLE_EMPTY_RECORDS, 1, SampleSize);
    Bytes b = GenerateSample(SAMPLE_EMPTY_RECORDS, 2, SampleSize);
    auto twoTags = [](unsigned char* record, uint32_t) { std::memset(record, record[0] & 1, 4); };
    ForEachRecord(a, twoTags);
    ForEachRecord(b, twoTags);
    return {a, b};
}

class CountingSink final : public DumpLineSink {
  public:
    bool WriteLines(const char*, size_t bytes) override {
        written += bytes;
        return true;
    }
    size_t written = 0;
};

void BM_Diff(benchmark::State& state, std::pair<Bytes, Bytes> (*make)()) {
    static std::map<std::pair<Bytes, Bytes> (*)(), std::pair<Bytes, Bytes>> made;
    if (!made.count(make))
        made[make] = make();
    const auto& [a, b] = made[make];
    CountingSink sink;
    for (auto _ : state) {
        sink.written = 0;
        DiffOutcome outcome =
            WriteRecordDiff({"a", a.data(), uint32_t(a.size())},
                            {"b", b.data(), uint32_t(b.size())}, NUMERATION_MULTI, 1, sink);
        if (outcome != DIFF_DIFFERENT)
            state.SkipWithError("the files came out equal or the diff failed");
    }
    state.counters["output MB"] = double(sink.written) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    const std::pair<const char*, std::pair<Bytes, Bytes> (*)()> shapes[] = {
        {"Diff/near-identical", NearIdentical},
        {"Diff/disjoint", Disjoint},
        {"Diff/inserted-at-front", InsertedAtFront},
        {"Diff/shuffled", Shuffled},
    };
    for (const auto& [name, make] : shapes)
        benchmark::RegisterBenchmark(name, BM_Diff, make)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
