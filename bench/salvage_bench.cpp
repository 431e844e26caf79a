// The salvage walk against the damaged-file corpus (recall and precision for each kind of
// damage, with the goals), and its speed on 32,000,000-byte files of each shape, whole and
// damaged, against dumping the same file: the goal is at most twice the dump.
#include "bench/dump_baseline.h"
#include "dump/line_writer.h"
#include "dump/salvage.h"
#include "tools/damaged_files.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double RecallGoal = 0.99;
constexpr double PrecisionGoal = 0.995;
constexpr SampleShape Shapes[] = {SAMPLE_MIXED, SAMPLE_ONE_RECORD, SAMPLE_EMPTY_RECORDS};
const char* const ShapeNames[] = {"mixed", "one-record", "empty-records"};

// Each kind on each shape, `seeds` files each of sizes from 64 KiB to about 2 MB.
bool PrintCorpusScores(uint32_t seeds) {
    std::printf("Salvage of %u damaged files a kind (3 shapes, 64 KiB to 2 MB):\n", seeds * 3);
    std::printf("%-16s %6s %8s %9s %9s %8s %10s  %s\n", "damage", "whole", "changed", "survivors",
                "reported", "recall", "precision", "per shape (recall/precision)");
    bool met = true;
    for (int kind = 0; kind < DamageKindCount; ++kind) {
        SalvageScore total;
        std::string shapes;
        for (int s = 0; s < 3; ++s) {
            SalvageScore shape;
            if (!ScoreCorpus(Shapes[s], DamageKind(kind), seeds, 65536, 1900000, shape))
                return false;
            total.Add(shape);
            char text[64];
            std::snprintf(text, sizeof text, " %s %.4f/%.4f", ShapeNames[s], shape.Recall(),
                          shape.Precision());
            shapes += text;
        }
        bool good = total.Recall() >= RecallGoal && total.Precision() >= PrecisionGoal;
        met = met && good;
        std::printf("%-16s %6llu %8llu %9llu %9llu %8.4f %10.4f %s%s\n",
                    std::string(DamageKindName(DamageKind(kind))).c_str(),
                    (unsigned long long)total.stillWhole, (unsigned long long)total.changed,
                    (unsigned long long)total.survivors, (unsigned long long)total.reported,
                    total.Recall(), total.Precision(), good ? "" : "MISSED", shapes.c_str());
    }
    std::printf("whole: files the damage left well-formed, which every face accepts as they are;\n"
                "they are not scored. changed: records whose data alone changed, shown as records\n"
                "and not counted as reported. Goals: recall >= %.2f, precision >= %.3f: %s\n\n",
                RecallGoal, PrecisionGoal, met ? "met" : "MISSED");
    return true;
}

struct Prepared {
    std::vector<unsigned char> input;
    std::vector<char> output;
};

// A whole sample of the largest size, or one whose record that holds the middle byte declares
// 0xFFFFFFFF bytes: the walk searches all the bytes after it for where records start again,
// in the one-record shape every byte of the file.
Prepared& PreparedFile(int shape, bool damaged) {
    static std::map<int, Prepared> prepared;
    Prepared& p = prepared[shape * 2 + damaged];
    if (p.input.empty()) {
        p.input = GenerateSample(Shapes[shape], 1, MaxModuleInfoLength);
        RecordWalk walk = PlanDump(p.input.data(), MaxModuleInfoLength);
        p.output.assign(size_t(walk.next.line) * DumpLineLength, 1);
        uint32_t middle = 0;
        WalkRecords(p.input.data(), MaxModuleInfoLength, {}, [&](const Record& record) {
            middle = record.at.offset;
            return record.Next().offset <= MaxModuleInfoLength / 2;
        });
        if (damaged)
            std::memset(p.input.data() + middle + 4, 0xFF, 4);
    }
    return p;
}

void BM_Dump(benchmark::State& state, int shape) {
    Prepared& p = PreparedFile(shape, false);
    DumpBaseline(state, p.input, MaxModuleInfoLength, p.output);
}

void BM_Salvage(benchmark::State& state, int shape, bool damaged) {
    Prepared& p = PreparedFile(shape, damaged);
    Salvage salvage;
    for (auto _ : state) {
        if (!SalvageFile(p.input.data(), MaxModuleInfoLength, salvage))
            state.SkipWithError("out of memory");
        benchmark::DoNotOptimize(salvage.records);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * MaxModuleInfoLength);
}

} // namespace

int main(int argc, char** argv) {
    if (!PrintCorpusScores(40))
        return 1;
    for (int shape = 0; shape < 3; ++shape) {
        std::string name = ShapeNames[shape];
        benchmark::RegisterBenchmark(("dump/" + name).c_str(), BM_Dump, shape)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
        for (bool damaged : {false, true})
            benchmark::RegisterBenchmark(
                ("salvage/" + name + (damaged ? "/damaged" : "/whole")).c_str(), BM_Salvage, shape,
                damaged)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
