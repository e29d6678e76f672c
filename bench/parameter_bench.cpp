// Set and get through the applet's exports, each beside the raw host access it needs: a value
// the applet keeps (FG_WIDTH: stored, a set writes both buffer banks), a value that lives in a
// register (FG_FORMAT: a set writes one register; FG_OVERFLOW: a get reads one) and a value
// the host keeps (FG_TIMEOUT: a set is forwarded; FG_NR_OF_DMAS: a get is forwarded). The ratio
// of the two sides is the applet's own cost per call.
#include "BenchBoard.h"

#include <pellvane/parameters.h>

#include <benchmark/benchmark.h>

namespace {

const char* const kBank0XLength = "Device1_Process0_Buffer_0_DRAM_A_0_XLength";
const char* const kBank1XLength = "Device1_Process0_Buffer_0_DRAM_A_1_XLength";
const char* const kOverflowRegister = "Device1_Process0_Overflow_OverflowOccurred";

// Raw register writes, as many per iteration as the argument: 1 for a one-register set, 2 for
// FG_WIDTH (both banks).
void rawRegisterWrites(benchmark::State& state) {
    pvbench::RawHost host;
    const int32_t ids[] = {host.registerId(kBank0XLength), host.registerId(kBank1XLength)};
    const auto writes = static_cast<int>(state.range(0));
    uint32_t v = 1024;
    int64_t calls = 0;
    for (auto _ : state) {
        v ^= 8;
        for (int i = 0; i < writes; ++i) {
            if (host.write(ids[i], v) != 0) state.SkipWithError("raw write failed");
        }
        pvbench::trimLog(calls);
    }
}

void rawRegisterRead(benchmark::State& state) {
    pvbench::RawHost host;
    const int32_t id = host.registerId(kOverflowRegister);
    uint32_t v = 0;
    for (auto _ : state) {
        if (host.read(id, &v) != 0) state.SkipWithError("raw read failed");
        benchmark::DoNotOptimize(v);
    }
}

void rawHostSet(benchmark::State& state) {
    pvbench::RawHost host;
    int32_t timeout = 1000;
    for (auto _ : state) {
        timeout ^= 1;
        if (host.setOwn(FG_TIMEOUT, timeout) != 0) state.SkipWithError("raw host set failed");
    }
}

void rawHostGet(benchmark::State& state) {
    pvbench::RawHost host;
    int32_t value = 0;
    for (auto _ : state) {
        if (host.getOwn(FG_NR_OF_DMAS, &value) != 0) state.SkipWithError("raw host get failed");
        benchmark::DoNotOptimize(value);
    }
}

// Sets `id` to each of `values` in turn.
void appletSet(benchmark::State& state, int32_t id, int32_t first, int32_t second) {
    pvbench::Board board;
    int32_t value = first;
    int64_t calls = 0;
    for (auto _ : state) {
        value = value == first ? second : first;
        if (!board.set(id, value)) {
            state.SkipWithError("the applet refused the value");
            break;
        }
        pvbench::trimLog(calls);
    }
}

void appletGet(benchmark::State& state, int32_t id) {
    pvbench::Board board;
    int32_t value = 0;
    for (auto _ : state) {
        if (board.x().Fg_getParameterWithType(board.fg(), id, &value, 0, PV_TYPE_INT32) != 0) {
            state.SkipWithError("the applet cannot read the value");
            break;
        }
        benchmark::DoNotOptimize(value);
    }
}

void appletGetStored(benchmark::State& state) {
    appletGet(state, FG_WIDTH);
}
void appletSetStored(benchmark::State& state) {
    appletSet(state, FG_WIDTH, 1024, 1032);
}
void appletGetRegister(benchmark::State& state) {
    appletGet(state, FG_OVERFLOW);
}
void appletSetRegister(benchmark::State& state) {
    appletSet(state, FG_FORMAT, 3, 1);
}
void appletGetHostForwarded(benchmark::State& state) {
    appletGet(state, FG_NR_OF_DMAS);
}
void appletSetHostForwarded(benchmark::State& state) {
    appletSet(state, FG_TIMEOUT, 1000, 1001);
}

} // namespace

BENCHMARK(rawRegisterWrites)->Arg(1)->Arg(2);
BENCHMARK(rawRegisterRead);
BENCHMARK(rawHostSet);
BENCHMARK(rawHostGet);
BENCHMARK(appletGetStored);
BENCHMARK(appletSetStored);
BENCHMARK(appletGetRegister);
BENCHMARK(appletSetRegister);
BENCHMARK(appletGetHostForwarded);
BENCHMARK(appletSetHostForwarded);
BENCHMARK_MAIN();
