// The formatter over 32,000,000-byte files of each shape, in memory, against memset of the same
// number of output bytes. Both write into buffers that are already touched, so page faults are
// out of the comparison; the ratio is what the formatter costs over the bare stores.
#include "dump/formatter.h"
#include "tests/support/sample_files.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr uint32_t SampleSize = MaxModuleInfoLength;

struct Case {
    const char* name;
    SampleShape shape;
};
const Case Cases[] = {
    {"mixed", SAMPLE_MIXED},
    {"one-record", SAMPLE_ONE_RECORD},
    {"empty-records", SAMPLE_EMPTY_RECORDS},
};

struct Prepared {
    std::vector<unsigned char> input;
    std::vector<char> output; // sized for the whole dump and touched once
};

Prepared& PreparedCase(const Case& c) {
    static std::map<std::string, Prepared> prepared;
    Prepared& p = prepared[c.name];
    if (p.input.empty()) {
        p.input = GenerateSample(c.shape, 1, SampleSize);
        p.output.assign(PlanDump(p.input.data(), SampleSize).lineCount * DumpLineLength, 1);
    }
    return p;
}

void SetRates(benchmark::State& state, const Prepared& p) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.input.size()));
    state.counters["output"] =
        benchmark::Counter(double(p.output.size()) * double(state.iterations()),
                           benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}

void BM_Format(benchmark::State& state, const Case& c) {
    Prepared& p = PreparedCase(c);
    for (auto _ : state) {
        DumpWalkResult result = WriteDumpLines(p.input.data(), SampleSize, NUMERATION_MULTI,
                                               p.output.data(), p.output.size(), nullptr, nullptr);
        if (result != DUMP_WALK_COMPLETE)
            state.SkipWithError("the sample did not format");
        benchmark::DoNotOptimize(p.output.data());
        benchmark::ClobberMemory();
    }
    SetRates(state, p);
}

void BM_Memset(benchmark::State& state, const Case& c) {
    Prepared& p = PreparedCase(c);
    for (auto _ : state) {
        std::memset(p.output.data(), ' ', p.output.size());
        benchmark::DoNotOptimize(p.output.data());
        benchmark::ClobberMemory();
    }
    SetRates(state, p);
}

// Keeps the console output and remembers each run's time for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    for (const Case& c : Cases) {
        benchmark::RegisterBenchmark((std::string("Format/") + c.name).c_str(), BM_Format, c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Memset/") + c.name).c_str(), BM_Memset, c)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-16s %12s %12s %8s\n", "shape", "format ms", "memset ms", "ratio");
    for (const Case& c : Cases) {
        auto format = reporter.seconds.find(std::string("Format/") + c.name);
        auto memset = reporter.seconds.find(std::string("Memset/") + c.name);
        if (format == reporter.seconds.end() || memset == reporter.seconds.end())
            continue;
        std::printf("%-16s %12.2f %12.2f %8.2f\n", c.name, format->second, memset->second,
                    format->second / memset->second);
    }
    benchmark::Shutdown();
}
