// Set and get through the applet's exports, each beside the raw host register access it needs.
// The ratio of the two is the applet's own cost per call.
#include "BenchBoard.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int32_t kWidth = 100;         // FG_WIDTH: stored value, written to two registers
constexpr int32_t kNrOfDmas = 3050;     // FG_NR_OF_DMAS: served by the host

void rawRegisterWrite(benchmark::State& state) {
    pvbench::RawHost host;
    int32_t id = host.registerId("Device1_Process0_Buffer_0_DRAM_A_0_XLength");
    uint32_t v = 0;
    for (auto _ : state) {
        if (host.write(id, 1024 + (v++ & 8)) != 0) state.SkipWithError("raw write failed");
    }
    vb_log_clear();
}

void rawRegisterRead(benchmark::State& state) {
    pvbench::RawHost host;
    int32_t id = host.registerId("Device1_Process0_Buffer_0_DRAM_A_0_XLength");
    uint32_t v = 0;
    for (auto _ : state) {
        if (host.read(id, &v) != 0) state.SkipWithError("raw read failed");
        benchmark::DoNotOptimize(v);
    }
}

void appletSetWidth(benchmark::State& state) {
    pvbench::Board board;
    int32_t width = 1024;
    for (auto _ : state) {
        width = width == 1024 ? 1032 : 1024;
        if (board.x().Fg_setParameterWithType(board.fg(), kWidth, &width, 0, 1) != 0) {
            state.SkipWithError("FG_WIDTH cannot be set");
            break;
        }
        // The write log of the virtual board would grow without bound.
        if ((width & 0xff) == 0) vb_log_clear();
    }
}

void appletGetWidth(benchmark::State& state) {
    pvbench::Board board;
    int32_t width = 0;
    for (auto _ : state) {
        if (board.x().Fg_getParameterWithType(board.fg(), kWidth, &width, 0, 1) != 0) {
            state.SkipWithError("FG_WIDTH cannot be read");
            break;
        }
        benchmark::DoNotOptimize(width);
    }
}

void appletGetHostServed(benchmark::State& state) {
    pvbench::Board board;
    int32_t value = 0;
    for (auto _ : state) {
        if (board.x().Fg_getParameterWithType(board.fg(), kNrOfDmas, &value, 0, 1) != 0) {
            state.SkipWithError("FG_NR_OF_DMAS cannot be read");
            break;
        }
        benchmark::DoNotOptimize(value);
    }
}

} // namespace

BENCHMARK(rawRegisterWrite);
BENCHMARK(rawRegisterRead);
BENCHMARK(appletSetWidth);
BENCHMARK(appletGetWidth);
BENCHMARK(appletGetHostServed);
BENCHMARK_MAIN();
