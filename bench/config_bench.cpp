// Configuration files: a save and a load of every parameter through the applet. A save is set
// beside writing the same bytes with the C library alone; a load beside reading them and
// making the register writes the load makes, replayed through the host.
#include "BenchBoard.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kAppletFile = "config_bench.mcf";
const char* const kCopyFile = "config_bench_copy.mcf";

std::string savedConfiguration(pvbench::Board& board) {
    if (board.x().Fg_saveConfig(board.fg(), kAppletFile) != 0) return {};
    std::string bytes;
    if (std::FILE* f = std::fopen(kAppletFile, "rb")) {
        char chunk[4096];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.append(chunk, n);
        std::fclose(f);
    }
    return bytes;
}

void appletSaveConfig(benchmark::State& state) {
    pvbench::Board board;
    const std::size_t bytes = savedConfiguration(board).size();
    for (auto _ : state) {
        if (board.x().Fg_saveConfig(board.fg(), kAppletFile) != 0) {
            state.SkipWithError("Fg_saveConfig failed");
            break;
        }
    }
    state.counters["file_bytes"] = static_cast<double>(bytes);
}

void appletLoadConfig(benchmark::State& state) {
    pvbench::Board board;
    savedConfiguration(board);
    for (auto _ : state) {
        if (board.x().Fg_loadConfig(board.fg(), kAppletFile) != 0) {
            state.SkipWithError("Fg_loadConfig failed");
            break;
        }
        vb_log_clear();
    }
}

void fileWriteSameBytes(benchmark::State& state) {
    std::string bytes;
    {
        pvbench::Board board;
        bytes = savedConfiguration(board);
    }
    for (auto _ : state) {
        std::FILE* f = std::fopen(kCopyFile, "wb");
        if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
            state.SkipWithError("cannot write the copy");
            if (f != nullptr) std::fclose(f);
            break;
        }
        std::fclose(f);
    }
}

void fileReadAndLoadWrites(benchmark::State& state) {
    std::vector<VbWrite> writes;
    {
        pvbench::Board board;
        savedConfiguration(board);
        vb_log_clear();
        if (board.x().Fg_loadConfig(board.fg(), kAppletFile) != 0) {
            state.SkipWithError("Fg_loadConfig failed");
            return;
        }
        writes = pvbench::loggedWrites();
    }
    pvbench::RawHost host;
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        std::FILE* f = std::fopen(kAppletFile, "rb");
        if (f == nullptr) {
            state.SkipWithError("cannot read the file");
            break;
        }
        while (std::fread(buffer.data(), 1, buffer.size(), f) > 0) {
        }
        std::fclose(f);
        benchmark::DoNotOptimize(buffer.data());
        if (pvbench::replay(host, writes) != 0) {
            state.SkipWithError("a replayed write failed");
            break;
        }
        vb_log_clear();
    }
    state.counters["register_writes"] = static_cast<double>(writes.size());
    std::remove(kAppletFile);
    std::remove(kCopyFile);
}

} // namespace

BENCHMARK(appletSaveConfig)->Unit(benchmark::kMicrosecond);
BENCHMARK(appletLoadConfig)->Unit(benchmark::kMicrosecond);
BENCHMARK(fileWriteSameBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(fileReadAndLoadWrites)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
