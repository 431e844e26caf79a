// The record diff of two 32,000,000-byte files, in memory, from their indexes to the change
// flags: files that differ in a few records, files that share no record at all, one record
// inserted at the front, and the search's worst case, two random orders of the same two
// records. Beside it, the dump of both files of the first pair, as a yardstick.
#include "dump/record_diff.h"
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
    RecordPosition second = RecordAt(file.data(), {}).Next();
    WalkRecords(file.data(), uint32_t(file.size()), second, [&](const Record& record) {
        change(file.data() + record.at.offset, record.at.record - 1);
        return true;
    });
}

// 4,000,000 empty records, 20 of them with another tag, spread evenly.
std::pair<Bytes, Bytes> EmptyNearIdentical() {
    Bytes a = GenerateSample(SAMPLE_EMPTY_RECORDS, 1, SampleSize), b = a;
    uint32_t records = PlanDump(a.data(), SampleSize).next.record;
    ForEachRecord(b, [records](unsigned char* record, uint32_t number) {
        if (number % (records / 20) == records / 40)
            record[0] ^= 0x80;
    });
    return {a, b};
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

using Pair = std::pair<Bytes, Bytes>;

const Pair& Made(Pair (*make)()) {
    static std::map<Pair (*)(), Pair> made;
    if (!made.count(make))
        made[make] = make();
    return made[make];
}

void BM_Diff(benchmark::State& state, Pair (*make)()) {
    const auto& [a, b] = Made(make);
    uint64_t changed = 0;
    for (auto _ : state) {
        RecordIndex indexA, indexB;
        RecordChanges changes;
        if (!indexA.Build(a.data(), uint32_t(a.size())) ||
            !indexB.Build(b.data(), uint32_t(b.size())) || !DiffRecords(indexA, indexB, changes))
            state.SkipWithError("no memory");
        changed = 0;
        for (unsigned char flag : changes.removed)
            changed += flag;
    }
    state.counters["removed"] = double(changed);
}

class CountingSink final : public DumpLineSink {
  public:
    bool WriteLines(const char*, size_t bytes) override {
        written += bytes;
        return true;
    }
    size_t written = 0;
};

// What the diff is measured against: both files of the pair dumped.
void BM_DumpBoth(benchmark::State& state, Pair (*make)()) {
    const auto& [a, b] = Made(make);
    std::vector<char> chunk(8192 * DumpLineLength);
    CountingSink sink;
    for (auto _ : state)
        for (const Bytes* file : {&a, &b})
            WriteDumpLines(WholeDump(file->data(), uint32_t(file->size())), NUMERATION_MULTI,
                           chunk.data(), chunk.size(), &sink, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    const std::pair<const char*, Pair (*)()> shapes[] = {
        {"Diff/empty-near-identical", EmptyNearIdentical},
        {"Diff/near-identical", NearIdentical},
        {"Diff/disjoint", Disjoint},
        {"Diff/inserted-at-front", InsertedAtFront},
        {"Diff/shuffled", Shuffled},
    };
    for (const auto& [name, make] : shapes)
        benchmark::RegisterBenchmark(name, BM_Diff, make)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("DumpBoth/empty-near-identical", BM_DumpBoth, EmptyNearIdentical)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
