// Saving pictures as pvctl grab does: one 1024 × 1024 8-bit picture encoded and written on its
// own, beside the sustained rate of the writer pool (one writer per processor) taking picture
// after picture from its queue. The ratio says how much of the encoder's time each picture
// costs when the writers share the work; the counter says how many pictures a second are saved.
#include "PictureWriter.h"
#include "WriterPool.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

using namespace pellvane::tools;

constexpr uint32_t kSize = 1024;
constexpr std::size_t kBytes = std::size_t{kSize} * kSize;
// Files are written round a few names, so that the disk holds a few pictures, not thousands.
constexpr int kNames = 32;

// The camera's ramp with a little noise in the lowest bits, as a real scene has.
const std::vector<uint8_t>& scene() {
    static const std::vector<uint8_t> pixels = [] {
        std::vector<uint8_t> p(kBytes);
        uint32_t noise = 12345;
        for (uint32_t y = 0; y < kSize; ++y)
            for (uint32_t x = 0; x < kSize; ++x) {
                noise = noise * 1103515245u + 12345u;
                p[std::size_t{y} * kSize + x] =
                    static_cast<uint8_t>(((x + 2 * y) >> 4) + ((noise >> 16) & 3));
            }
        return p;
    }();
    return pixels;
}

std::filesystem::path folder() {
    const auto dir = std::filesystem::temp_directory_path() / "pellvane-save-bench";
    std::filesystem::create_directories(dir);
    return dir;
}

std::string name(const std::filesystem::path& dir, int64_t i, PictureFormat f) {
    return (dir / ("p" + std::to_string(i % kNames) + extension(f))).string();
}

void encodeOne(benchmark::State& state, PictureFormat format) {
    const auto dir = folder();
    int64_t i = 0;
    for (auto _ : state) {
        const std::string error =
            writePicture(name(dir, i++, format), {scene().data(), kSize, kSize, 8}, format);
        if (!error.empty()) state.SkipWithError(error.c_str());
    }
    std::filesystem::remove_all(dir);
}

void sustainedSave(benchmark::State& state, PictureFormat format) {
    const auto dir = folder();
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    WriterPool pool(threads, 16, format);
    pool.prepare(kBytes);
    int64_t i = 0;
    for (auto _ : state) {
        std::vector<uint8_t>* slot = pool.reserve(kBytes, 60000);
        if (slot == nullptr) {
            state.SkipWithError("the writer pool took no picture for a minute");
            break;
        }
        std::memcpy(slot->data(), scene().data(), kBytes);
        pool.submit(slot, name(dir, i++, format), kSize, kSize, 8);
    }
    pool.finish(); // the last pictures are written within the measured time
    if (!pool.error().empty()) state.SkipWithError(pool.error().c_str());
    state.counters["pictures_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["writers"] = threads;
    std::filesystem::remove_all(dir);
}

BENCHMARK_CAPTURE(encodeOne, png, PictureFormat::Png)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeOne, raw, PictureFormat::Raw)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(sustainedSave, png, PictureFormat::Png)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(sustainedSave, raw, PictureFormat::Raw)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
