// The behavioural model of the design: what the board does with the register values the applet
// wrote. It turns trigger pulses into camera frames, camera frames into pictures in the host's
// DMA buffers, and keeps the design's status registers and event counters current.
//
// Time is measured in nanoseconds on the model's clock (see Clock). The model is evaluated
// lazily: every register access and every host query first advances the board to "now",
// processing in order every pulse and frame that fell due since the last advance. Between two
// advances no register changes, so one advance works with one fixed configuration.
//
// docs/virtual-board.md describes the rules for users; the comments here say how they are kept.
#ifndef PELLVANE_SIM_PIPELINE_H
#define PELLVANE_SIM_PIPELINE_H

#include "DesignFormat.h"
#include "InputSignal.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace vboard {

// The model's clock: the process's steady clock, or a manual clock that only moves when told
// to (tests and tools that want exact, instant runs).
class Clock {
public:
    Nanos now() const;
    // The steady-clock instant of a time on the real clock.
    static std::chrono::steady_clock::time_point instant(Nanos t);
    bool manual() const { return manual_; }
    void setManual(bool on);
    void advance(Nanos delta) { manualNow_ += delta; }
    void advanceTo(Nanos t) {
        if (t > manualNow_) manualNow_ = t;
    }

private:
    bool manual_ = false;
    Nanos manualNow_ = 0;
};

// Runtime register ids of every register the model reads or answers, resolved by name from a
// design (0 where the design lacks one).
struct ModelRegisters {
    explicit ModelRegisters(const Design& design);

    std::uint32_t cameraFormat, xLength, yLength, xOffset, yOffset, formatSource, bitAlignment,
        selectPeriod, selectPhase;
    std::uint32_t clearQueuePulse, enableQueue, minimumPeriod, pulseFormEnable, sequenceDownscale,
        queueFullValue, queueEnabled, softwareTrigger, clearSequence, resetMissing,
        clearMissingFrame, clearOverride, outputStatsSelect, outputStatsClear, outputEventSelect;
    std::array<std::uint32_t, 4> pfDownscale, pfSelected, pfDelay, pfWidth, pfClear;
    // The board's lines: camera control CC1 … CC4, then digital outputs 0 … 7.
    std::array<std::uint32_t, 12> lineSelect, lineInvert;
    // The input stage.
    std::uint32_t debounce, inputSelect, inputInvert, bypassSelect, selectExternal, inputDownscale,
        inputSelected, inputDownscaleClear, statsClearPulses, statsClearMinMax;
    std::uint32_t genEnable, genStart, genWidth, genLineWidth, genHeight, genActive, genPassive,
        genMask, genRoll;
    // Status registers the model answers.
    std::uint32_t overflow, fillLevel0, fillLevel1, maximumReached, queueValue, queueStatus,
        outputStatsPulses, frameCounter, timestamp, inputStatus, statsPulses, statsPeriod, statsMax,
        statsMin;
    // By register id: whether a write of it makes the pipeline act at once.
    std::vector<bool> actsOn;
};

inline constexpr std::uint32_t kInputs = VB_INPUTS;
inline constexpr std::uint32_t kCcLines = 4, kOutputLines = 8, kLines = kCcLines + kOutputLines;

// Events the model counts (design event names in EventNames).
enum class ModelEvent {
    FrameStart,
    FrameEnd,
    Overflow,
    MissingFrame,
    Override,
    OutputEvent,
    FrameLost,
    Count
};
inline constexpr std::array<const char*, static_cast<std::size_t>(ModelEvent::Count)> kEventNames =
    {"Device1_Process1_Trigger_Monitoring_FVALEvents_Cam0_FrameStart",
     "Device1_Process1_Trigger_Monitoring_FVALEvents_Cam0_FrameEnd",
     "Device1_Process0_Overflow_Overflow",
     "Device1_Process1_Trigger_Monitoring_MonitoringEvents_Cam0MissingFrame",
     "Device1_Process1_Trigger_Monitoring_MonitoringEvents_Cam0Override",
     "Device1_Process1_Trigger_Monitoring_MonitoringEvents_Cam0OutputEvent",
     "Device1_Process0_Dma_FrameLost"};
// Input n's events: the rising edge is kInputEventPrefix + "Pin<n>", the falling "NotPin<n>".
inline constexpr std::string_view kInputEventPrefix =
    "Device1_Process1_Trigger_TriggerInput_InputEvents_InputEvents_";

// The virtual camera on the board's camera port.
struct CameraSettings {
    double freeRunHz = 50.0;      // frame rate while CC1 carries a constant level
    double frameTimeUs = 1000.0;  // exposure and read-out: a trigger within it is missed
    double lineRateHz = 0;        // lines per second the camera sends; 0: no limit
    double dmaBytesPerSecond = 0; // how fast the DMA drains the board's buffer; 0: no limit
};

// The host's frame buffers for one acquisition.
struct DmaBuffers {
    std::vector<void*> buffers;
    std::size_t bufferSize = 0;
};

// What the host learns about its DMA channel.
struct DmaStatus {
    bool active = false;
    std::int64_t lastPicture = 0;     // highest picture number delivered, 0 before the first
    std::int64_t lost = 0;            // frames the board could not hand over
    std::uint64_t transferLength = 0; // bytes of the last delivered picture
};

// The image the output stage produces from a configuration: everything one frame needs.
struct FrameFormat {
    bool simulator = false;
    std::uint32_t depth = 8; // input bits: 8, 10 or 12
    std::uint32_t x0 = 0, y0 = 0, width = 0, height = 0;
    bool sixteenBit = false;
    bool leftAligned = true;
    // Camera simulator
    std::uint32_t genWidth = 0, genHeight = 0, genMask = 15, genRoll = 0;

    std::size_t bytesPerPixel() const { return sixteenBit ? 2 : 1; }
    std::size_t frameBytes() const {
        return std::size_t{width} * std::size_t{height} * bytesPerPixel();
    }
};

// Renders camera frame `frame` as the output stage delivers it; writes at most `size` bytes and
// answers how many it wrote.
std::size_t renderFrame(const FrameFormat& format,
                        const std::array<std::uint32_t, kLutEntries>& lut, std::uint64_t frame,
                        void* buffer, std::size_t size);

class Pipeline {
public:
    Pipeline();
    using ReadRegister = std::function<std::uint64_t(std::uint32_t id)>;

    // Brings the board up to `now`: pulses, frames, deliveries. Must be called before every
    // register change and every query, with a `now` that never decreases.
    void advance(Nanos now, const ModelRegisters& r, const ReadRegister& read,
                 const std::array<std::uint32_t, kLutEntries>& lut);

    // A register took a new value at `now` (after advance(now)).
    void written(Nanos now, std::uint32_t id, std::uint64_t value, const ModelRegisters& r,
                 const ReadRegister& read);

    // The value of a status register the model drives, or nothing when it drives none.
    std::optional<std::uint64_t> live(Nanos now, std::uint32_t id, const ModelRegisters& r,
                                      const ReadRegister& read) const;

    // Earliest time after `now` at which something (a frame, a delivery) may happen; nothing
    // when the board is idle until a register changes. (Not const: it may generate the
    // inputs' next edges.)
    std::optional<Nanos> nextEvent(Nanos now, const ModelRegisters& r, const ReadRegister& read);

    void startDma(Nanos now, std::int64_t pictures, DmaBuffers buffers);
    void stopDma();
    const DmaStatus& dma() const { return dma_; }

    std::uint64_t eventCount(ModelEvent e) const { return events_[static_cast<std::size_t>(e)]; }
    // The count of a design event by name, or nothing for one the model does not count.
    std::optional<std::uint64_t> eventCount(std::string_view name) const;
    CameraSettings& camera() { return camera_; }

    // The signal on input `input` from `now` on (after advance(now)).
    void setSignal(Nanos now, std::uint32_t input, const VbSignal& signal, const SignalPlan& plan);
    const VbSignal& signal(std::uint32_t input) const { return signals_[input]; }
    const InputPin& input(std::uint32_t input) const { return inputs_[input]; }
    // Line `line` (CC lines first, then outputs) at `now`.
    VbLineState line(Nanos now, std::uint32_t line, const ReadRegister& read,
                     const ModelRegisters& r) const;
    std::size_t lineHistory(Nanos now, std::uint32_t line, VbLinePulse* out, std::size_t max) const;

    FrameFormat format(const ModelRegisters& r, const ReadRegister& read) const;

private:
    struct InFlight {
        Nanos done;
        std::int64_t picture;
        std::uint64_t bytes;
        int bank; // the buffer bank it waits in, -1 when it bypasses the buffer
    };
    struct Taken {
        std::int64_t picture;
        std::uint64_t frame;
    };

    // The pulse source: the free generator or the queue behind the input path.
    struct PulseSource {
        bool running = false;   // released (not held cleared)
        bool queueMode = false; // fed from the input path instead of the free generator
        Nanos period = 0;
        Nanos anchor = 0; // time of pulse number `index` == 0 of the free generator
        std::uint64_t index = 0;
        std::uint64_t queued = 0;    // input pulses waiting
        std::uint64_t burstLeft = 0; // output pulses left of the pulse being multiplied
        Nanos nextOut = 0;           // the queue's next output may not come before this
    };

    // What one advance works with: the configuration, fixed until the next register change.
    struct Step;
    using Frames = std::vector<std::pair<Nanos, std::uint64_t>>;

    // A line's recent pulses, for its level history.
    struct Line {
        static constexpr std::size_t kKept = 64;
        std::array<VbLinePulse, kKept> ring{};
        std::size_t next = 0, size = 0;
        std::uint64_t pulses = 0;
        void add(Nanos start, Nanos end);
        void close(Nanos end);
    };

    void emitPulses(Step& s);
    void cameraTrigger(Nanos t, Nanos frameTime, Frames& frames);
    void cameraPulse(Nanos t, Step& s);
    void freeRunFrames(Nanos now, Nanos period, Nanos frameTime, Frames& frames);
    // `pulses` generator pulses, the first at t0 and then one every `step`, reach the
    // pulse-form generators.
    void account(Nanos t0, Nanos step, std::uint64_t pulses, Step& s);
    void inputEdge(std::uint32_t input, const Edge& e, Step& s);
    void drainInputs(Step& s);
    void offerPulse(Nanos t, const ModelRegisters& r, const ReadRegister& read);
    void deliver(Nanos upTo);
    void store(Nanos t, std::uint64_t frame, std::uint64_t bytes, Nanos exposure,
               std::vector<Taken>& taken);
    void reanchorGenerator(Nanos now);
    Nanos frameTime(const ModelRegisters& r, const ReadRegister& read) const;
    bool cameraTriggered(const ModelRegisters& r, const ReadRegister& read) const;
    bool sourceDelivers(const ModelRegisters& r, const ReadRegister& read) const;
    std::optional<Nanos> nextPulse() const;
    void count(ModelEvent e, std::uint64_t n = 1) { events_[static_cast<std::size_t>(e)] += n; }

    PulseSource source_;
    std::array<std::uint64_t, 4> pfCount_{}; // pulses each pulse-form generator has seen
    // The last two pulses (start, end) of each pulse-form generator, the later one last.
    std::array<std::array<std::pair<Nanos, Nanos>, 2>, 4> pfLast_{};
    std::array<Line, kLines> lines_{};
    std::array<InputPin, kInputs> inputs_{};
    std::array<VbSignal, kInputs> signals_;
    std::uint32_t busyInputs_ = 0;  // bit n: input n may still have edges to process
    std::uint64_t inputPassed_ = 0; // active input edges the input downscaler has seen
    std::uint64_t inputPulses_ = 0; // input statistics: pulse counter, periods in 16 ns ticks
    std::optional<Nanos> lastActive_;
    std::uint64_t period_ = 0, maxPeriod_ = 0, minPeriod_ = 0;
    std::uint64_t clearMinMax_ = 0;  // the clear register's last value: a change clears
    std::uint64_t outputPulses_ = 0; // passes of the generator the statistics watch
    Nanos cameraBusyUntil_ = 0;
    Nanos freeRunAnchor_ = 0;
    std::uint64_t freeRunIndex_ = 0;
    std::uint64_t cameraFrames_ = 0;   // frames the camera (or simulator) sent
    std::uint64_t selectorFrames_ = 0; // frames the image selector saw since the DMA started
    bool exceeded_ = false, missing_ = false, overflow_ = false;
    bool overflowing_ = false; // the last frame offered to the buffer was lost
    std::array<std::uint64_t, 2> bankBytes_{};
    std::uint64_t bankFrames_ = 0;
    Nanos dmaFreeAt_ = 0; // when the DMA has drained every picture handed to it
    std::array<std::uint64_t, static_cast<std::size_t>(ModelEvent::Count)> events_{};
    CameraSettings camera_;

    DmaStatus dma_;
    std::int64_t requested_ = -1; // pictures to deliver, -1 until stopped
    std::int64_t assigned_ = 0;   // pictures handed a buffer
    DmaBuffers buffers_;
    std::deque<InFlight> inFlight_;
};

// Each bank of the board's image buffer holds this many bytes.
inline constexpr std::uint64_t kBankBytes = 128ull << 20;

} // namespace vboard

#endif
