// The lookup table: one full recompute and write through the applet (a processing value set by
// identifier: validation, 4096 powers, the 16 KiB field write to the board), the computation on
// its own, the 4096 pow calls alone, which bound what the computation can cost, and the raw
// table write through the host.
#include "BenchBoard.h"

#include <pellvane/parameters.h>

// The computation is header-only and needs nothing of the applet around it.
#include "imagepath/LookupTable.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

namespace {

// Gamma 2.2, as a user would set it: a power that is neither the identity nor a square root.
constexpr double kGammaValue = 2.2;

void powCallsAlone(benchmark::State& state) {
    const double exponent = 1.0 / kGammaValue;
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i < 4096; ++i) {
            double base = i / 4095.0;
            benchmark::DoNotOptimize(base);
            sum += std::pow(base, exponent);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 4096);
}

void computeTableAlone(benchmark::State& state) {
    pellvane::LutArray table{};
    double gain = 1.0;
    for (auto _ : state) {
        gain = gain == 1.0 ? 0.75 : 1.0;
        benchmark::DoNotOptimize(gain);
        pellvane::computeProcessingTable(0.0, gain, kGammaValue, 0, table);
        benchmark::DoNotOptimize(table.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 4096);
}

void recomputeAndWriteThroughTheApplet(benchmark::State& state) {
    pvbench::Board board;
    if (!board.set(FG_PROCESSING_GAMMA, kGammaValue)) {
        state.SkipWithError("FG_PROCESSING_GAMMA cannot be set");
        return;
    }
    double gain = 1.0;
    int64_t calls = 0;
    for (auto _ : state) {
        gain = gain == 1.0 ? 0.75 : 1.0;
        if (!board.set(FG_PROCESSING_GAIN, gain)) {
            state.SkipWithError("FG_PROCESSING_GAIN cannot be set");
            break;
        }
        pvbench::trimLog(calls);
    }
    state.SetItemsProcessed(state.iterations() * 4096);
}

// The write alone: the same 16 KiB table record through the host, without the applet.
void rawTableWrite(benchmark::State& state) {
    pvbench::RawHost host;
    const int32_t id = host.registerId("Device1_Process0_LookupTable_LookupTable_LUTcontent");
    pellvane::LutArray table{};
    pellvane::computeProcessingTable(0.0, 1.0, kGammaValue, 0, table);
    int64_t calls = 0;
    for (auto _ : state) {
        if (host.writeTable(id, table.data()) != 0) {
            state.SkipWithError("raw table write failed");
            break;
        }
        pvbench::trimLog(calls);
    }
    state.SetItemsProcessed(state.iterations() * 4096);
}

} // namespace

BENCHMARK(powCallsAlone);
BENCHMARK(computeTableAlone);
BENCHMARK(recomputeAndWriteThroughTheApplet);
BENCHMARK(rawTableWrite);

BENCHMARK_MAIN();
