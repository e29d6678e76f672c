// A software trigger of a full queue (2040 pulses): each pulse is one register write through the
// host plus the busy-wait pause between pulses; beside it the same 2040 writes made raw through
// the host. Reports pulses per second.
#include "BenchBoard.h"

#include <pellvane/parameters.h>

#include <benchmark/benchmark.h>

namespace {

constexpr int32_t kOn = 1;
constexpr int32_t kFullQueue = 2040;
constexpr uint32_t kPulseValue = 2; // what the software trigger register takes for one pulse

void softwareTriggerFullQueue(benchmark::State& state) {
    pvbench::Board board;
    if (!board.set(FG_TRIGGERQUEUE_MODE, kOn) || !board.set(FG_AREATRIGGERMODE, ATM_SOFTWARE) ||
        !board.set(FG_TRIGGERSTATE, TS_ACTIVE)) {
        state.SkipWithError("the software trigger cannot be started");
        return;
    }
    for (auto _ : state) {
        if (!board.set(FG_SENDSOFTWARETRIGGER, kFullQueue)) {
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

// The same 2040 writes of the software trigger register, raw through the host.
void rawPulseWrites(benchmark::State& state) {
    pvbench::RawHost host;
    const int32_t id =
        host.registerId("Device1_Process1_Trigger_TriggerCam0_TriggerMode_SoftwareTrigger_Mode");
    for (auto _ : state) {
        for (int32_t i = 0; i < kFullQueue; ++i) {
            if (host.write(id, kPulseValue) != 0) state.SkipWithError("raw write failed");
        }
        state.PauseTiming();
        vb_log_clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFullQueue);
}

} // namespace

BENCHMARK(softwareTriggerFullQueue)->Unit(benchmark::kMillisecond);
BENCHMARK(rawPulseWrites)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
