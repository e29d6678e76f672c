// The virtual board's frame throughput: the output stage drawing a 1024 × 1024 picture from a
// 12-bit camera into 16-bit pixels, beside a plain memory copy of the same bytes; and a whole
// acquisition (trigger, camera, DMA) on the model's manual clock.
#include <kestlib5/kestlib5.h>
#include <vboard/vboard.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

constexpr int32_t kSize = 1024;
constexpr size_t kBytes = size_t{kSize} * kSize * 2;

// Board 0 with the applet, set to a 12-bit camera and 16-bit output at 1024 × 1024.
class FrameBoard {
public:
    FrameBoard() {
        vb_reset();
        fg_ = Fg_Init("Pellvane", 0);
        if (fg_ == nullptr) throw std::runtime_error("cannot open the board");
        set("FG_CAMERA_LINK_CAMTYPE", 212);
        set("FG_WIDTH", kSize);
        set("FG_HEIGHT", kSize);
        set("FG_FORMAT", 1); // FG_GRAY16
    }
    ~FrameBoard() {
        Fg_FreeGrabber(fg_);
        vb_reset();
    }
    void set(const char* name, int32_t v) {
        if (Fg_setParameterWithType(fg_, Fg_getParameterIdByName(fg_, name), &v, 0,
                                    FG_PARAM_TYPE_INT32_T) != 0)
            throw std::runtime_error(name);
    }
    void set(const char* name, double v) {
        if (Fg_setParameterWithType(fg_, Fg_getParameterIdByName(fg_, name), &v, 0,
                                    FG_PARAM_TYPE_DOUBLE) != 0)
            throw std::runtime_error(name);
    }
    Fg_Struct* fg() const { return fg_; }

private:
    Fg_Struct* fg_ = nullptr;
};

void BM_FrameModel(benchmark::State& state) {
    FrameBoard board;
    VbBoard* vb = vb_board_open(0);
    if (vb_frame_bytes(vb) != kBytes) {
        state.SkipWithError("unexpected picture size");
        return;
    }
    std::vector<unsigned char> picture(kBytes);
    uint64_t frame = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vb_frame_render(vb, frame++, picture.data(), picture.size()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * int64_t{kBytes});
}
BENCHMARK(BM_FrameModel);

void BM_MemoryCopy(benchmark::State& state) {
    std::vector<unsigned char> source(kBytes, 0x5A), target(kBytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), kBytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * int64_t{kBytes});
}
BENCHMARK(BM_MemoryCopy);

// Pictures acquired through the host library and the applet, the generator at 1000 frames/s
// on the manual clock: every wait jumps straight to the next picture.
void BM_FrameAcquisition(benchmark::State& state) {
    FrameBoard board;
    vb_clock_manual(1);
    constexpr int64_t kBuffers = 4;
    dma_mem* mem = Fg_AllocMemEx(board.fg(), kBytes * kBuffers, kBuffers);
    if (mem == nullptr || Fg_AcquireEx(board.fg(), 0, GRAB_INFINITE, ACQ_STANDARD, mem) != 0) {
        state.SkipWithError("cannot start the acquisition");
        return;
    }
    board.set("FG_TRIGGER_FRAMESPERSECOND", 200.0);
    board.set("FG_TRIGGERSTATE", 0); // TS_ACTIVE
    int64_t next = 1;
    for (auto _ : state) {
        if (Fg_getLastPicNumberBlockingEx(board.fg(), next, 0, 1, mem) < next) {
            state.SkipWithError("a picture did not arrive");
            break;
        }
        ++next;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * int64_t{kBytes});
    Fg_stopAcquireEx(board.fg(), 0, mem, 0);
    Fg_FreeMemEx(board.fg(), mem);
}
BENCHMARK(BM_FrameAcquisition);

} // namespace

BENCHMARK_MAIN();
