// The lookup table: one full recompute and write through the applet (a processing value set by
// identifier: validation, 4096 powers, the 16 KiB field write to the board), the computation on
// its own, and the 4096 pow calls alone, which bound what the computation can cost.
#include "BenchBoard.h"

// The computation is header-only and needs nothing of the applet around it.
#include "imagepath/LookupTable.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

namespace {

constexpr int32_t kGain = 300002;  // FG_PROCESSING_GAIN: recomputes and writes the table
constexpr int32_t kGamma = 300003; // FG_PROCESSING_GAMMA

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
    double gamma = kGammaValue;
    if (board.x().Fg_setParameterWithType(board.fg(), kGamma, &gamma, 0, 5) != 0) {
        state.SkipWithError("FG_PROCESSING_GAMMA cannot be set");
        return;
    }
    double gain = 1.0;
    int64_t n = 0;
    for (auto _ : state) {
        gain = gain == 1.0 ? 0.75 : 1.0;
        if (board.x().Fg_setParameterWithType(board.fg(), kGain, &gain, 0, 5) != 0) {
            state.SkipWithError("FG_PROCESSING_GAIN cannot be set");
            break;
        }
        // The write log of the virtual board would grow without bound.
        if ((++n & 0xff) == 0) vb_log_clear();
    }
    vb_log_clear();
    state.SetItemsProcessed(state.iterations() * 4096);
}

} // namespace

BENCHMARK(powCallsAlone);
BENCHMARK(computeTableAlone);
BENCHMARK(recomputeAndWriteThroughTheApplet);

BENCHMARK_MAIN();
