// Start-up and tear-down of an applet object (Std_entry to Fg_FreeGrabber) beside the work it
// cannot avoid: the register writes it makes, replayed through the same libraries, and the heap
// blocks of its information tree, allocated and freed. The runtime's image load, which start-up
// includes, is measured on its own.
#include "BenchBoard.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

void appletStartAndFree(benchmark::State& state) {
    // The host library is part of the host process that loads the applet: it stays loaded
    // from one board to the next, and Std_entry only finds it.
    pvbench::Loaded host("libkestlib5.so");
    pvbench::Applet applet;
    vb_reset();
    VbBoard* board = vb_board_open(0);
    void* record[4] = {};
    for (auto _ : state) {
        int32_t error = 0;
        record[0] = applet.x().Std_entry(board, &error, 0);
        if (record[0] == nullptr) {
            state.SkipWithError("Std_entry failed");
            break;
        }
        applet.x().Fg_FreeGrabber(record);
        vb_log_clear();
    }
}

// One start-up's writes, as the virtual board logged them, and its tree's heap blocks.
struct StartupWork {
    std::vector<VbWrite> writes;
    std::vector<std::size_t> blocks;
};

StartupWork recordStartup() {
    StartupWork work;
    vb_log_clear();
    pvbench::Board board;
    work.writes = pvbench::loggedWrites();
    auto* root =
        static_cast<const ParameterInfoNode*>(board.x().Fg_getParameterInfo(board.fg(), 0));
    work.blocks = pvbench::treeAllocations(root);
    return work;
}

void rawStartupWork(benchmark::State& state) {
    const StartupWork work = recordStartup();
    pvbench::RawHost host;
    std::vector<void*> blocks(work.blocks.size());
    for (auto _ : state) {
        if (pvbench::replay(host, work.writes) != 0) {
            state.SkipWithError("a replayed write failed");
            break;
        }
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            blocks[i] = std::calloc(1, work.blocks[i]);
            benchmark::DoNotOptimize(blocks[i]);
        }
        for (void* b : blocks)
            std::free(b);
        vb_log_clear();
    }
    state.counters["register_writes"] = static_cast<double>(work.writes.size());
    state.counters["heap_blocks"] = static_cast<double>(work.blocks.size());
}

// The share of start-up that is the runtime's: loading the hardware-applet image the applet
// carries (parsing and checking the design it describes) and releasing it.
void runtimeImageLoad(benchmark::State& state) {
    pvbench::Applet applet;
    pvbench::Loaded runtime("libpyrrt.so");
    auto load =
        reinterpret_cast<void* (*)(const void*, size_t, int32_t)>(runtime.symbol("pyrrt_143"));
    auto release = reinterpret_cast<int32_t (*)(void*)>(runtime.symbol("pyrrt_38"));
    int64_t size = 0;
    const void* image = nullptr;
    applet.x().Info(0x412, 0, 0, &size, &image);
    for (auto _ : state) {
        void* hap = load(image, static_cast<size_t>(size), 1); // as the applet loads it
        if (hap == nullptr) {
            state.SkipWithError("the runtime refused the image");
            break;
        }
        release(hap);
    }
}

} // namespace

BENCHMARK(appletStartAndFree)->Unit(benchmark::kMicrosecond);
BENCHMARK(rawStartupWork)->Unit(benchmark::kMicrosecond);
BENCHMARK(runtimeImageLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
