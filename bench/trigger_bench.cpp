// A software trigger of a full queue (2040 pulses): each pulse is one register write through the
// host plus the busy-wait pause between pulses. Reports pulses per second.
#include "BenchBoard.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int32_t kAreaTriggerMode = 300200;
constexpr int32_t kTriggerState = 300201;
constexpr int32_t kQueueMode = 300214;
constexpr int32_t kSendSoftwareTrigger = 8800;
constexpr int32_t kSoftware = 4;
constexpr int32_t kActive = 0;
constexpr int32_t kOn = 1;
constexpr int32_t kFullQueue = 2040;

bool set(pvbench::Board& board, int32_t id, int32_t value) {
    return board.x().Fg_setParameterWithType(board.fg(), id, &value, 0, 1) == 0;
}

void softwareTriggerFullQueue(benchmark::State& state) {
    pvbench::Board board;
    if (!set(board, kQueueMode, kOn) || !set(board, kAreaTriggerMode, kSoftware) ||
        !set(board, kTriggerState, kActive)) {
        state.SkipWithError("the software trigger cannot be started");
        return;
    }
    for (auto _ : state) {
        if (!set(board, kSendSoftwareTrigger, kFullQueue)) {
            state.SkipWithError("software trigger refused");
            break;
        }
        // The virtual board logs every write; keep the log from growing without bound.
        state.PauseTiming();
        vb_log_clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFullQueue);
    state.counters["pulses_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kFullQueue), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(softwareTriggerFullQueue)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
