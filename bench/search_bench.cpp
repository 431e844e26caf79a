// The search over 32,000,000-byte files of each shape, for a pattern the file does not hold,
// against dumping the same file into a buffer that is already touched: the goal is that such a
// search costs at most twice the dump. Each is timed at its fastest of five repetitions, the
// one least disturbed on a shared machine.
#include "dump/byte_search.h"
#include "dump/line_writer.h"
#include "tools/sample_files.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const char* const Shapes[] = {"mixed", "one-record", "empty-records"};

struct Prepared {
    std::vector<unsigned char> input;
    std::vector<char> output;
    RecordIndex index;
};

Prepared& PreparedShape(const std::string& name) {
    static std::map<std::string, Prepared> prepared;
    Prepared& p = prepared[name];
    if (p.input.empty()) {
        SampleShape shape = SAMPLE_MIXED;
        ParseSampleShape(name, shape);
        p.input = GenerateSample(shape, 1, MaxModuleInfoLength);
        p.index.Build(p.input.data(), MaxModuleInfoLength);
        p.output.assign(size_t(p.index.LineCount()) * DumpLineLength, 1);
    }
    return p;
}

void BM_Dump(benchmark::State& state, const std::string& shape) {
    Prepared& p = PreparedShape(shape);
    for (auto _ : state) {
        if (WriteDumpLines(WholeDump(p.input.data(), MaxModuleInfoLength), NUMERATION_MULTI,
                           p.output.data(), p.output.size(), nullptr,
                           nullptr) != DUMP_WALK_COMPLETE)
            state.SkipWithError("the sample did not format");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * MaxModuleInfoLength);
}

// Absent from every sample: as text, and in either case with its UTF-16LE form too.
void BM_Search(benchmark::State& state, const std::string& shape, bool wide) {
    Prepared& p = PreparedShape(shape);
    SearchQuery query;
    MakeTextQuery("absent:QEF", wide, wide, query);
    for (auto _ : state) {
        HitCursor cursor(p.index, query);
        SearchHit hit;
        if (cursor.Next(hit))
            state.SkipWithError("the pattern is in the sample");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * MaxModuleInfoLength);
}

class FastestReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            double& best = seconds[run.run_name.function_name];
            double time = run.GetAdjustedRealTime();
            best = best == 0 ? time : std::min(best, time);
        }
    }
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    for (const char* shape : Shapes) {
        for (auto [name, wide] : {std::pair{"SearchText/", false}, {"SearchWide/", true}})
            benchmark::RegisterBenchmark((name + std::string(shape)).c_str(), BM_Search, shape,
                                         wide)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5);
        benchmark::RegisterBenchmark(("Dump/" + std::string(shape)).c_str(), BM_Dump, shape)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5);
    }
    benchmark::Initialize(&argc, argv);
    FastestReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-16s %10s %10s %10s %8s %8s  (absent pattern against the dump)\n", "shape",
                "dump ms", "text ms", "wide ms", "text/dump", "wide/dump");
    for (std::string shape : Shapes) {
        double dump = reporter.seconds["Dump/" + shape],
               text = reporter.seconds["SearchText/" + shape],
               wide = reporter.seconds["SearchWide/" + shape];
        std::printf("%-16s %10.2f %10.2f %10.2f %8.2f %8.2f\n", shape.c_str(), dump, text, wide,
                    text / dump, wide / dump);
    }
    benchmark::Shutdown();
}
