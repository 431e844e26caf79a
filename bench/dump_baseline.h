// The yardstick of the search and salvage benchmarks: the first `length` bytes of `input` dumped
// into `output`, a buffer already touched; their goal is at most twice this.
#pragma once

#include "dump/line_writer.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

inline void DumpBaseline(benchmark::State& state, const std::vector<unsigned char>& input,
                         uint32_t length, std::vector<char>& output) {
    for (auto _ : state) {
        if (WriteDumpLines(WholeDump(input.data(), length), NUMERATION_MULTI, output.data(),
                           output.size(), nullptr, nullptr) != DUMP_WALK_COMPLETE)
            state.SkipWithError("the sample did not format");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * length);
}
