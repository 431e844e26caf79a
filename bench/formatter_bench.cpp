// The formatter over 32,000,000-byte files of each shape, in memory, against memset of the same
// number of output bytes. Both write into buffers that are already touched, so page faults are
// out of the comparison; the ratio is what the formatter costs over the bare stores.
#include "dump/viewer_dump.h"
#include "tools/sample_files.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint32_t SampleSize = MaxModuleInfoLength;

// The generator's shapes, by the names qefgen knows them by.
struct Case {
    const char* name;
};
const Case Cases[] = {{"mixed"}, {"one-record"}, {"empty-records"}};

struct Prepared {
    std::vector<unsigned char> input;
    std::vector<char> output; // sized for the whole dump and touched once
};

Prepared& PreparedCase(const Case& c) {
    static std::map<std::string, Prepared> prepared;
    Prepared& p = prepared[c.name];
    if (p.input.empty()) {
        SampleShape shape = SAMPLE_MIXED;
        ParseSampleShape(c.name, shape);
        p.input = GenerateSample(shape, 1, SampleSize);
        size_t bytes = size_t(PlanDump(p.input.data(), SampleSize).next.line) * DumpLineLength;
        p.output.reserve(bytes + 1); // room for FormatModuleInfo's closing NUL
        p.output.assign(bytes, 1);
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
        DumpWalkResult result =
            WriteDumpLines(WholeDump(p.input.data(), SampleSize), NUMERATION_MULTI, p.output.data(),
                           p.output.size(), nullptr, nullptr);
        if (result != DUMP_WALK_COMPLETE)
            state.SkipWithError("the sample did not format");
        benchmark::DoNotOptimize(p.output.data());
        benchmark::ClobberMemory();
    }
    SetRates(state, p);
}

// FormatModuleInfo end to end with the sinks doing nothing: the header pass, the walk and, when
// `fresh` is false, the prepared buffer instead of a new block from the heap.
class QuietTarget : public DumpTarget {
  public:
    explicit QuietTarget(Prepared* reuse) : reuse_(reuse) {}
    bool SetText(const char*, size_t) override { return true; }
    void ShowProgress(const char*) override {}
    void ShowMessage(const DumpMessage&) override {}
    void* AllocateOutput(size_t bytes) override {
        if (!reuse_)
            return DumpTarget::AllocateOutput(bytes);
        reuse_->output.resize(bytes);
        return reuse_->output.data();
    }
    bool ReleaseOutput(void* block) override {
        return reuse_ ? true : DumpTarget::ReleaseOutput(block);
    }

  private:
    Prepared* reuse_;
};

void RunFormatModuleInfo(benchmark::State& state, const Case& c, bool fresh) {
    Prepared& p = PreparedCase(c);
    for (auto _ : state) {
        QuietTarget target(fresh ? nullptr : &p);
        if (!FormatModuleInfo(target, p.input.data(), SampleSize, NUMERATION_MULTI))
            state.SkipWithError("the sample did not format");
        benchmark::ClobberMemory();
    }
    p.output.resize(size_t(PlanDump(p.input.data(), SampleSize).next.line) * DumpLineLength);
    SetRates(state, p);
}

void BM_FormatModuleInfo(benchmark::State& state, const Case& c) {
    RunFormatModuleInfo(state, c, false);
}

// Every page of a new block is touched for the first time, by the formatter or by memset.
void BM_FirstTouchFormat(benchmark::State& state, const Case& c) {
    RunFormatModuleInfo(state, c, true);
}

void BM_FirstTouchMemset(benchmark::State& state, const Case& c) {
    Prepared& p = PreparedCase(c);
    for (auto _ : state) {
        std::unique_ptr<char, decltype(&std::free)> block(
            static_cast<char*>(std::calloc(p.output.size() + 1, 1)), &std::free);
        if (!block) {
            state.SkipWithError("no memory for the block");
            break;
        }
        std::memset(block.get(), ' ', p.output.size());
        benchmark::DoNotOptimize(block.get());
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

// Keeps the console output and remembers each benchmark's best time for the ratio table: on a
// shared machine the fastest repetition is the one least disturbed by others.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "min") {
                Keep(seconds, run.run_name.function_name, run.GetAdjustedRealTime());
                Keep(cpuSeconds, run.run_name.function_name, run.GetAdjustedCPUTime());
            }
    }
    std::map<std::string, double> seconds;
    std::map<std::string, double> cpuSeconds;

  private:
    static void Keep(std::map<std::string, double>& times, const std::string& name, double time) {
        auto known = times.find(name);
        if (known == times.end() || time < known->second)
            times[name] = time;
    }
};

double Fastest(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

// Several repetitions, shown as their aggregates, with the fastest among them.
void Register(const std::string& name, void (*bench)(benchmark::State&, const Case&),
              const Case& c) {
    benchmark::RegisterBenchmark(name.c_str(), bench, c)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->DisplayAggregatesOnly(true)
        ->ComputeStatistics("min", Fastest);
}

void PrintRatios(const RatioReporter& reporter, const std::string& formatName,
                 const std::string& memsetName) {
    std::printf("\n%-16s %12s %12s %8s %10s  (%s against %s)\n", "shape", "format ms", "memset ms",
                "ratio", "cpu ratio", formatName.c_str(), memsetName.c_str());
    for (const Case& c : Cases) {
        std::string format = formatName + "/" + c.name;
        std::string memset = memsetName + "/" + c.name;
        if (!reporter.seconds.count(format) || !reporter.seconds.count(memset))
            continue;
        double real = reporter.seconds.at(format), memsetReal = reporter.seconds.at(memset);
        std::printf("%-16s %12.2f %12.2f %8.2f %10.2f\n", c.name, real, memsetReal,
                    real / memsetReal,
                    reporter.cpuSeconds.at(format) / reporter.cpuSeconds.at(memset));
    }
}

} // namespace

int main(int argc, char** argv) {
    for (const Case& c : Cases) {
        Register(std::string("Format/") + c.name, BM_Format, c);
        Register(std::string("Memset/") + c.name, BM_Memset, c);
    }
    for (const Case& c : Cases) {
        Register(std::string("FormatModuleInfo/") + c.name, BM_FormatModuleInfo, c);
        Register(std::string("FirstTouchFormat/") + c.name, BM_FirstTouchFormat, c);
        Register(std::string("FirstTouchMemset/") + c.name, BM_FirstTouchMemset, c);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // The real time is the goal; the processor time is steadier on a machine shared with others.
    PrintRatios(reporter, "Format", "Memset");
    PrintRatios(reporter, "FormatModuleInfo", "Memset");
    PrintRatios(reporter, "FirstTouchFormat", "FirstTouchMemset");
    benchmark::Shutdown();
}
