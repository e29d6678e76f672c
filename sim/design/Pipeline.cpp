#include "Pipeline.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

namespace vboard {

namespace {

// Trigger timing registers count 16 ns ticks; the generator's period register holds the period
// less 9 ticks.
constexpr Nanos kTickNs = 16;
constexpr std::uint64_t kPeriodOffsetTicks = 9;
// The camera simulator's pixel clock runs at 125 MHz while its rate counter is "active"; each
// clock carries four pixels.
constexpr double kSimulatorClockHz = 125e6;
constexpr std::uint32_t kSimulatorPixelsPerClock = 4;
// A frame of the camera or the simulator takes at least 1 µs and at most 1000 s.
constexpr Nanos kMinFrameTime = 1000;
constexpr Nanos kMaxFrameTime = 1000ull * 1000 * 1000 * 1000;
constexpr std::uint32_t kMaxWidth = 16384;
constexpr std::uint32_t kMaxHeight = 65535;
constexpr std::uint32_t kPulseForms = 4;

Nanos clampFrameTime(double ns) {
    if (!(ns >= static_cast<double>(kMinFrameTime))) return kMinFrameTime;
    if (ns > static_cast<double>(kMaxFrameTime)) return kMaxFrameTime;
    return static_cast<Nanos>(ns);
}

// Number of pulse indices i in [0, x) with i % d == phase.
std::uint64_t passesBelow(std::uint64_t x, std::uint64_t d, std::uint64_t phase) {
    return x > phase ? (x - phase - 1) / d + 1 : 0;
}

struct PulseForm {
    std::uint64_t downscale; // ≥ 1
    std::uint64_t phase;     // < downscale
    Nanos delay;
    Nanos width;
};

PulseForm pulseForm(const ModelRegisters& r, const Pipeline::ReadRegister& read, std::uint32_t n) {
    std::uint64_t d = std::max<std::uint64_t>(1, read(r.pfDownscale[n]));
    // The selected-pulse register holds the phase plus one.
    std::uint64_t selected = read(r.pfSelected[n]);
    std::uint64_t phase = (selected + d - 1) % d;
    return PulseForm{d, phase, read(r.pfDelay[n]) * kTickNs, read(r.pfWidth[n]) * kTickNs};
}

Nanos generatorPeriod(const ModelRegisters& r, const Pipeline::ReadRegister& read) {
    return (read(r.minimumPeriod) + kPeriodOffsetTicks) * kTickNs;
}

template <class Pixel>
void fillRow(Pixel* row, std::size_t count, Pixel value) {
    std::fill(row, row + count, value);
}

// The output stage: the input value (at the camera's bit depth) is aligned to 12 bits, passes
// the lookup table, and leaves as 8 bits (the table's top 8) or 16 bits, left or right aligned.
template <class Pixel>
std::size_t render(const FrameFormat& f, const std::array<std::uint32_t, kLutEntries>& lut,
                   std::uint64_t frame, Pixel* out, std::size_t capacity) {
    const std::uint32_t shift = 12 - f.depth;
    auto output = [&](std::uint32_t input) -> Pixel {
        std::uint32_t value = lut[(input << shift) & 0xFFF] & 0xFFF;
        if constexpr (sizeof(Pixel) == 1) return static_cast<Pixel>(value >> 4);
        return static_cast<Pixel>(f.leftAligned ? value << 4 : value);
    };
    const std::size_t width = f.width;
    const std::size_t rows = width == 0 ? 0 : std::min<std::size_t>(f.height, capacity / width);
    const std::size_t partial = width == 0 || rows == f.height ? 0 : capacity - rows * width;
    const std::uint32_t inputs = 1u << f.depth;
    const std::uint32_t inputMask = inputs - 1;

    // Every row is a window onto one sequence that repeats: built once per picture, each row is
    // then a single copy. The camera's ramp steps through the 12-bit range, one step per pixel,
    // whatever the camera's depth; the simulator's through its own input range.
    const std::size_t period = f.simulator ? inputs : 4096;
    std::vector<Pixel> pattern(period + width);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const auto v = static_cast<std::uint32_t>(i % period);
        pattern[i] = output(f.simulator ? v : v >> shift);
    }

    auto emitRow = [&](std::size_t y, std::size_t count) {
        Pixel* row = out + y * width;
        const std::uint64_t yy = std::uint64_t{f.y0} + y;
        if (!f.simulator) {
            // The virtual camera's scene: a diagonal ramp over the 12-bit range that moves
            // four steps each frame, reduced to the camera's bit depth.
            std::uint64_t v12 = (f.x0 + 2 * yy + 4 * frame) & 0xFFF;
            std::memcpy(row, pattern.data() + v12, count * sizeof(Pixel));
            return;
        }
        // The simulator's pattern: a ramp across each line, moved one step per line and `roll`
        // steps per frame, on the taps the mask enables, inside its width and height only.
        const Pixel dark = output(0);
        if (yy >= f.genHeight || f.x0 >= f.genWidth) return fillRow(row, count, dark);
        const std::size_t inside = std::min<std::size_t>(count, f.genWidth - f.x0);
        const std::uint64_t start = (f.x0 + yy + frame * f.genRoll) & inputMask;
        if (f.genMask == 0xF) {
            std::memcpy(row, pattern.data() + start, inside * sizeof(Pixel));
        } else {
            for (std::size_t x = 0; x < inside; ++x) {
                bool tap = ((f.genMask >> ((f.x0 + x) % 4)) & 1u) != 0;
                row[x] = tap ? pattern[start + x] : dark;
            }
        }
        fillRow(row + inside, count - inside, dark);
    };
    for (std::size_t y = 0; y < rows; ++y)
        emitRow(y, width);
    if (partial != 0) emitRow(rows, partial);
    return rows * width + partial;
}

} // namespace

// ---- clock ----

namespace {
std::chrono::steady_clock::time_point epoch() {
    static const auto start = std::chrono::steady_clock::now();
    return start;
}
} // namespace

Nanos Clock::now() const {
    if (manual_) return manualNow_;
    return static_cast<Nanos>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::steady_clock::now() - epoch())
                                  .count());
}

std::chrono::steady_clock::time_point Clock::instant(Nanos t) {
    return epoch() + std::chrono::nanoseconds(t);
}

void Clock::setManual(bool on) {
    if (on && !manual_) manualNow_ = now(); // the manual clock goes on from the real time
    manual_ = on;
}

// ---- registers ----

ModelRegisters::ModelRegisters(const Design& d) {
    auto id = [&](const std::string& name) { return d.idOf(name); };
    const std::string p0 = "Device1_Process0_";
    const std::string buffer = p0 + "Buffer_0_DRAM_A_";
    const std::string t = "Device1_Process1_Trigger_TriggerCam0_";
    const std::string mon = "Device1_Process1_Trigger_Monitoring_";
    cameraFormat = id(p0 + "Camera_Format");
    xLength = id(buffer + "0_XLength");
    yLength = id(buffer + "0_YLength");
    xOffset = id(buffer + "0_XOffset");
    yOffset = id(buffer + "0_YOffset");
    formatSource = id(p0 + "OutputFormat_FG_FORMAT_SelectSource");
    bitAlignment = id(p0 + "OutputFormat_FG_BITALIGNMENT_Value");
    selectPeriod = id(p0 + "ImageSelector_FG_IMG_SELECT_PERIOD_Divisor");
    selectPhase = id(p0 + "ImageSelector_FG_IMG_SELECT_PHASE_Number");
    clearQueuePulse = id(t + "Generators_ClearQueuePulse_Mode");
    enableQueue = id(t + "Generators_EnableQueue_Select");
    minimumPeriod = id(t + "Generators_Generator_MinimumPeriod_Number");
    pulseFormEnable = id(t + "PulseFormGenerators_Enable_Select");
    sequenceDownscale = id(t + "Generators_Sequence_Downscale");
    queueFullValue = id(t + "Generators_Queue_QueueFullValue_Number");
    queueEnabled = id(t + "Generators_Queue_QueueEnabled_Select");
    softwareTrigger = id(t + "TriggerMode_SoftwareTrigger_Mode");
    clearSequence = id(t + "Generators_ClearDownscale_Mode");
    resetMissing = id(mon + "CheckForMissingFrame_Cam0_ResetMissing_Mode");
    clearMissingFrame = id(mon + "ClearMissingFrame_Cam0_Mode");
    clearOverride = id(mon + "ClearOverrideCam0_Mode");
    outputStatsSelect = id(t + "OutputStatistics_Select_Select");
    outputStatsClear = id(t + "OutputStatistics_ClearPulses_Mode");
    outputEventSelect = id(t + "OutputEvent_Select_Select");
    for (std::uint32_t n = 0; n < kPulseForms; ++n) {
        const std::string g = t + "PulseFormGenerators_PulseFormGenerator" + std::to_string(n);
        pfDownscale[n] = id(g + "_Downscale_Downscale");
        pfSelected[n] = id(g + "_Downscale_SelectedPulse");
        pfDelay[n] = id(g + "_Delay_Delay");
        pfWidth[n] = id(g + "_Width_Width");
        pfClear[n] = id(g + "_ClearDownscale_Mode");
    }
    for (std::uint32_t k = 0; k < kLines; ++k) {
        const std::string line = k < kCcLines
                                     ? t + "CameraControl_Select" + std::to_string(k)
                                     : t + "TriggerOutput_Select" + std::to_string(k - kCcLines);
        lineSelect[k] = id(line + "_Select_Select");
        lineInvert[k] = id(line + "_Polarity_Invert");
    }
    const std::string in = "Device1_Process1_Trigger_TriggerInput_";
    debounce = id(in + "Debounce8_Prescale_Period");
    inputSelect = id(t + "InputSelect_Select_Select");
    inputInvert = id(t + "InputSelect_Polarity_Invert");
    bypassSelect = id(t + "InputSelect_BypassSelect_Select");
    selectExternal = id(t + "TriggerMode_SelectExternal_Select");
    inputDownscale = id(t + "Downscale_Downscale_Downscale");
    inputSelected = id(t + "Downscale_Downscale_SelectedPulse");
    inputDownscaleClear = id(t + "Downscale_Clear_Mode");
    statsClearPulses = id(t + "InputStatistics_ClearPulses_Mode");
    statsClearMinMax = id(t + "InputStatistics_ClearMinMax_Value");
    genEnable = id("MWGenEnable");
    genStart = id("MWGenStart");
    genWidth = id("MWGenWidth");
    genLineWidth = id("MWGenLineWidth");
    genHeight = id("MWGenHeight");
    genActive = id("MWGenActive");
    genPassive = id("MWGenPassive");
    genMask = id("MWGenMask");
    genRoll = id("MWGenRoll");
    overflow = id(p0 + "Overflow_OverflowOccurred");
    fillLevel0 = id(buffer + "0_FillLevel");
    fillLevel1 = id(buffer + "1_FillLevel");
    maximumReached = id(t + "Generators_Generator_MaximumReached_Status");
    queueValue = id(t + "Generators_QueueValue_Status");
    queueStatus = id(mon + "ReadQueueStatus_Status");
    outputStatsPulses = id(t + "OutputStatistics_ReadPulses_Status");
    frameCounter = id("Device1_Status_FrameCounter");
    timestamp = id("Device1_Status_Timestamp");
    inputStatus = id(in + "InputStatus_Status");
    statsPulses = id(t + "InputStatistics_ReadPulses_Status");
    statsPeriod = id(t + "InputStatistics_ReadPeriod_Status");
    statsMax = id(t + "InputStatistics_ReadMax_Status");
    statsMin = id(t + "InputStatistics_ReadMin_Status");

    // The registers whose writes the pipeline acts on (Pipeline::written): most writes change
    // only what later steps read, and those need no more than this one look-up.
    std::vector<std::uint32_t> acted = {
        clearQueuePulse,  enableQueue,       minimumPeriod, softwareTrigger,  clearSequence,
        resetMissing,     clearMissingFrame, clearOverride, outputStatsClear, inputDownscaleClear,
        statsClearPulses, statsClearMinMax,  inputSelect,   inputInvert,      genEnable,
        genStart,         genLineWidth,      genHeight,     genActive,        genPassive};
    acted.insert(acted.end(), pfClear.begin(), pfClear.end());
    acted.insert(acted.end(), lineSelect.begin(), lineSelect.end());
    acted.insert(acted.end(), lineInvert.begin(), lineInvert.end());
    for (std::uint32_t a : acted) {
        if (a == 0) continue;
        if (a >= actsOn.size()) actsOn.resize(a + 1, false);
        actsOn[a] = true;
    }
}

// ---- rendering ----

std::size_t renderFrame(const FrameFormat& format,
                        const std::array<std::uint32_t, kLutEntries>& lut, std::uint64_t frame,
                        void* buffer, std::size_t size) {
    if (buffer == nullptr) return 0;
    if (format.sixteenBit) {
        // A 16-bit picture fills whole pixels only.
        std::size_t n = render(format, lut, frame, static_cast<std::uint16_t*>(buffer), size / 2);
        return n * 2;
    }
    return render(format, lut, frame, static_cast<std::uint8_t*>(buffer), size);
}

FrameFormat Pipeline::format(const ModelRegisters& r, const ReadRegister& read) const {
    FrameFormat f;
    f.simulator = (read(r.genEnable) & 1) != 0;
    static constexpr std::uint32_t kDepths[] = {8, 10, 12};
    std::uint64_t camera = read(r.cameraFormat);
    f.depth = camera < 3 ? kDepths[camera] : 8;
    f.x0 = static_cast<std::uint32_t>(std::min<std::uint64_t>(read(r.xOffset), kMaxWidth));
    f.y0 = static_cast<std::uint32_t>(std::min<std::uint64_t>(read(r.yOffset), kMaxHeight));
    f.width = static_cast<std::uint32_t>(std::min<std::uint64_t>(read(r.xLength), kMaxWidth));
    f.height = static_cast<std::uint32_t>(std::min<std::uint64_t>(read(r.yLength), kMaxHeight));
    f.sixteenBit = read(r.formatSource) == 0;
    f.leftAligned = read(r.bitAlignment) == 1;
    f.genWidth = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(read(r.genWidth) * kSimulatorPixelsPerClock, 1u << 20));
    f.genHeight = static_cast<std::uint32_t>(read(r.genHeight) + 1); // 32-bit: all ones → 0
    f.genMask = static_cast<std::uint32_t>(read(r.genMask) & 0xF);
    f.genRoll = static_cast<std::uint32_t>(read(r.genRoll) & 0xFF);
    return f;
}

// ---- the step: what one advance works with ----

namespace {
// Line select values: 0 … 3 a pulse-form generator, 4 the bypassed input, 5 a constant low.
constexpr std::uint64_t kSelectBypass = 4;
// The debounce register counts 48 ns units.
constexpr Nanos kDebounceUnitNs = 48;
constexpr Nanos kOpen = std::numeric_limits<Nanos>::max();
constexpr std::uint64_t kPulse = 2; // "mode" registers act on a write of 2
// Period registers of the input statistics are 32 bits wide.
constexpr std::uint64_t kMaxTicks = 0xFFFFFFFFu;

std::uint32_t inputOf(std::uint64_t select) {
    return select < kInputs ? static_cast<std::uint32_t>(select) : kInputs;
}
} // namespace

Pipeline::Pipeline() {
    signals_.fill(defaultSignal());
}

// The configuration is fixed for the whole advance, so each part of it is read once, and only
// when some pulse or edge needs it: most advances find nothing to do.
struct Pipeline::Step {
    Step(const Pipeline& p, Nanos n, const ModelRegisters& regs, const ReadRegister& rd, Frames& f)
        : now(n), r(regs), read(rd), frames(f), pipeline(p) {}

    Nanos now;
    const ModelRegisters& r;
    const ReadRegister& read;
    Frames& frames;
    // How long a frame takes.
    Nanos exposure() {
        if (!exposureNs) exposureNs = pipeline.frameTime(r, read);
        return *exposureNs;
    }
    // Whether the camera (or the simulator) sends a frame when triggered.
    bool delivers() {
        if (!sends) sends = pipeline.sourceDelivers(r, read);
        return *sends;
    }

    const std::array<std::uint64_t, kLines>& route() {
        if (!routed) {
            for (std::uint32_t k = 0; k < kLines; ++k)
                routes[k] = read(r.lineSelect[k]);
            routed = true;
        }
        return routes;
    }
    Nanos debounce() { return read(r.debounce) * kDebounceUnitNs; }
    void needInputs() {
        if (inputsReady) return;
        inputsReady = true;
        selected = inputOf(read(r.inputSelect));
        bypass = inputOf(read(r.bypassSelect));
        invert = (read(r.inputInvert) & 1) != 0;
        downscale = std::max<std::uint64_t>(1, read(r.inputDownscale));
        // The selected-pulse register holds the phase plus one.
        phase = (read(r.inputSelected) + downscale - 1) % downscale;
        debounceNs = debounce();
    }

    bool feedsQueue = false; // active edges of the selected input reach the queue
    bool inputsReady = false;
    std::uint32_t selected = kInputs, bypass = kInputs;
    bool invert = false;
    std::uint64_t downscale = 1, phase = 0;
    Nanos debounceNs = 0;

private:
    const Pipeline& pipeline;
    std::optional<Nanos> exposureNs;
    std::optional<bool> sends;
    bool routed = false;
    std::array<std::uint64_t, kLines> routes{};
};

// ---- timing ----

Nanos Pipeline::frameTime(const ModelRegisters& r, const ReadRegister& read) const {
    if ((read(r.genEnable) & 1) == 0) {
        double ns = camera_.frameTimeUs * 1000.0;
        if (camera_.lineRateHz > 0) {
            // The camera sends every line down to the region's last before the frame is whole.
            const double lines =
                static_cast<double>(std::min<std::uint64_t>(read(r.yOffset), kMaxHeight) +
                                    std::min<std::uint64_t>(read(r.yLength), kMaxHeight));
            ns = std::max(ns, lines / camera_.lineRateHz * 1e9);
        }
        return clampFrameTime(ns);
    }
    // The simulator sends (height) lines of (line width) clocks; its rate counter lets
    // `active` of every `active + passive` clocks through (both registers hold the count less
    // one, in 64 bits).
    double active = static_cast<double>(read(r.genActive) + 1);
    double passive = static_cast<double>(read(r.genPassive) + 1);
    double clocks = static_cast<double>(std::max<std::uint64_t>(1, read(r.genLineWidth))) *
                    static_cast<double>(static_cast<std::uint32_t>(read(r.genHeight) + 1));
    if (active <= 0) return kMaxFrameTime;
    double rate = kSimulatorClockHz * active / (active + passive);
    return clampFrameTime(clocks / rate * 1e9);
}

// The camera is triggered while its CC1 line (camera control 0) is driven by a running
// pulse-form generator or by the bypassed input; on a constant level it free-runs.
bool Pipeline::cameraTriggered(const ModelRegisters& r, const ReadRegister& read) const {
    return read(r.lineSelect[0]) < kPulseForms;
}

bool Pipeline::sourceDelivers(const ModelRegisters& r, const ReadRegister& read) const {
    if ((read(r.genEnable) & 1) != 0) return (read(r.genStart) & 1) != 0;
    return true;
}

std::optional<Nanos> Pipeline::nextPulse() const {
    if (!source_.running) return std::nullopt;
    if (!source_.queueMode) return source_.anchor + source_.index * source_.period;
    if (source_.burstLeft > 0 || source_.queued > 0) return source_.nextOut;
    return std::nullopt;
}

void Pipeline::reanchorGenerator(Nanos now) {
    source_.anchor = now;
    source_.index = 0;
    source_.nextOut = now;
}

// ---- lines ----

void Pipeline::Line::add(Nanos start, Nanos end) {
    ring[next] = VbLinePulse{start, end};
    next = (next + 1) % kKept;
    size = std::min(size + 1, kKept);
}

void Pipeline::Line::close(Nanos end) {
    if (size == 0) return;
    VbLinePulse& last = ring[(next + kKept - 1) % kKept];
    if (last.end == kOpen) last.end = end;
}

VbLineState Pipeline::line(Nanos now, std::uint32_t k, const ReadRegister& read,
                           const ModelRegisters& r) const {
    VbLineState state{};
    const bool inverted = (read(r.lineInvert[k]) & 1) != 0;
    const std::uint64_t select = read(r.lineSelect[k]);
    bool active = false;
    if (select < kPulseForms) {
        // At most one pulse of a generator can still lie ahead (its delay is shorter than the
        // time between its pulses), so the later of the last two or the one before decides.
        const auto& [before, last] = pfLast_[select];
        const auto& p = last.first <= now ? last : before;
        active = p.first <= now && now < p.second;
    } else if (select == kSelectBypass) {
        const std::uint32_t input = inputOf(read(r.bypassSelect));
        active = input < kInputs && inputs_[input].level();
    }
    state.level = active != inverted ? 1 : 0;
    state.idle = inverted ? 1 : 0;
    state.pulses = lines_[k].pulses;
    return state;
}

std::size_t Pipeline::lineHistory(Nanos now, std::uint32_t k, VbLinePulse* out,
                                  std::size_t max) const {
    const Line& l = lines_[k];
    std::vector<VbLinePulse> begun;
    for (std::size_t i = 0; i < l.size; ++i) {
        VbLinePulse p = l.ring[(l.next + Line::kKept - l.size + i) % Line::kKept];
        if (p.start > now) continue;
        if (p.end > now) p.end = kOpen;
        begun.push_back(p);
    }
    const std::size_t first = begun.size() > max ? begun.size() - max : 0;
    std::copy(begun.begin() + static_cast<std::ptrdiff_t>(first), begun.end(), out);
    return begun.size() - first;
}

// `pulses` output pulses of the generator reach the pulse-form generators.
void Pipeline::account(Nanos t0, Nanos step, std::uint64_t pulses, Step& s) {
    if (source_.running && !source_.queueMode) source_.index += pulses;
    if ((s.read(s.r.pulseFormEnable) & 1) == 0) return;
    const std::uint64_t statsOf = s.read(s.r.outputStatsSelect);
    const std::uint64_t eventOf = s.read(s.r.outputEventSelect);
    for (std::uint32_t n = 0; n < kPulseForms; ++n) {
        PulseForm pf = pulseForm(s.r, s.read, n);
        std::uint64_t before = pfCount_[n];
        pfCount_[n] += pulses;
        std::uint64_t passed = passesBelow(pfCount_[n], pf.downscale, pf.phase) -
                               passesBelow(before, pf.downscale, pf.phase);
        if (n == statsOf) outputPulses_ += passed;
        if (n == eventOf) count(ModelEvent::OutputEvent, passed);
        if (passed == 0) continue;
        // Pass j of this run is generator pulse first + j × downscale; only the last few
        // matter to the lines' levels and histories.
        const std::uint64_t first =
            (pf.phase + pf.downscale - before % pf.downscale) % pf.downscale;
        auto startOf = [&](std::uint64_t j) {
            return t0 + (first + j * pf.downscale) * step + pf.delay;
        };
        for (std::uint64_t j = passed - std::min<std::uint64_t>(passed, 2); j < passed; ++j) {
            pfLast_[n][0] = pfLast_[n][1];
            pfLast_[n][1] = {startOf(j), startOf(j) + pf.width};
        }
        const auto& route = s.route();
        for (std::uint32_t k = 0; k < kLines; ++k) {
            if (route[k] != n) continue;
            lines_[k].pulses += passed;
            for (std::uint64_t j = passed - std::min<std::uint64_t>(passed, Line::kKept);
                 j < passed; ++j)
                lines_[k].add(startOf(j), startOf(j) + pf.width);
        }
    }
}

// ---- pulses, inputs and frames ----

void Pipeline::cameraTrigger(Nanos t, Nanos frameTime, Frames& frames) {
    cameraBusyUntil_ = t + frameTime;
    frames.emplace_back(t, cameraFrames_++);
}

// A trigger the camera cannot take because a frame is still under way is missed.
void Pipeline::cameraPulse(Nanos t, Step& s) {
    if (t < cameraBusyUntil_) {
        missing_ = true;
        count(ModelEvent::MissingFrame);
        return;
    }
    cameraTrigger(t, s.exposure(), s.frames);
}

void Pipeline::freeRunFrames(Nanos now, Nanos period, Nanos frameTime, Frames& frames) {
    while (freeRunAnchor_ + freeRunIndex_ * period <= now) {
        cameraTrigger(freeRunAnchor_ + freeRunIndex_ * period, frameTime, frames);
        ++freeRunIndex_;
    }
}

// A pulse for the queue (a software trigger or an input pulse) at time t.
void Pipeline::offerPulse(Nanos t, const ModelRegisters& r, const ReadRegister& read) {
    if (!source_.running || !source_.queueMode) return;
    const bool queueOn = (read(r.queueEnabled) & 1) != 0;
    const std::uint64_t held = source_.queued + (source_.burstLeft > 0 ? 1 : 0);
    const bool accepted = queueOn ? held < std::max<std::uint64_t>(1, read(r.queueFullValue))
                                  : held == 0 && source_.nextOut <= t;
    if (!accepted) {
        // The pulse came faster than the period limit lets pulses through.
        exceeded_ = true;
        count(ModelEvent::Override);
        return;
    }
    if (held == 0) source_.nextOut = std::max(source_.nextOut, t);
    ++source_.queued;
}

// A debounced edge of an input: the input events count it (InputPin), the bypass routes it to
// the lines, and on the selected input its active edge is a trigger pulse.
void Pipeline::inputEdge(std::uint32_t input, const Edge& e, Step& s) {
    s.needInputs();
    if (input == s.bypass) {
        const auto& route = s.route();
        for (std::uint32_t k = 0; k < kLines; ++k) {
            if (route[k] != kSelectBypass) continue;
            if (e.level) {
                lines_[k].add(e.time, kOpen);
                ++lines_[k].pulses;
            } else {
                lines_[k].close(e.time);
            }
        }
        // CC1 on the bypassed input: each of its pulses starts a frame.
        if (route[0] == kSelectBypass && e.level && s.delivers()) cameraPulse(e.time, s);
    }
    // The active edge is the rising one, or the falling one on a low-active input.
    if (input != s.selected || e.level == s.invert) return;
    ++inputPulses_;
    if (lastActive_) {
        const std::uint64_t ticks = std::min((e.time - *lastActive_) / kTickNs, kMaxTicks);
        period_ = ticks;
        maxPeriod_ = std::max(maxPeriod_, ticks);
        minPeriod_ = minPeriod_ == 0 ? ticks : std::min(minPeriod_, ticks);
    }
    lastActive_ = e.time;
    if (s.feedsQueue && inputPassed_++ % s.downscale == s.phase) offerPulse(e.time, s.r, s.read);
}

// Every input's debounced edges up to the step's present.
void Pipeline::drainInputs(Step& s) {
    if (busyInputs_ == 0) return;
    for (std::uint32_t i = 0; i < kInputs; ++i) {
        const std::uint32_t bit = 1u << i;
        if ((busyInputs_ & bit) == 0) continue;
        if (inputs_[i].quiet()) {
            busyInputs_ &= ~bit;
            continue;
        }
        s.needInputs();
        while (const std::optional<Edge> e = inputs_[i].next(s.debounceNs, s.now)) {
            inputs_[i].take(*e);
            inputEdge(i, *e, s);
        }
    }
}

// Output pulses up to `now`; the camera frames they trigger go to the step's frames.
void Pipeline::emitPulses(Step& s) {
    const ModelRegisters& r = s.r;
    const ReadRegister& read = s.read;
    const Nanos now = s.now;
    const bool triggered =
        cameraTriggered(r, read) && (read(r.pulseFormEnable) & 1) != 0 && s.delivers();
    const std::uint64_t ccSelect = read(r.lineSelect[0]);
    const auto cc = static_cast<std::uint32_t>(ccSelect);
    const PulseForm pf = triggered ? pulseForm(r, read, cc) : PulseForm{1, 0, 0, 0};
    const Nanos exposure = s.exposure();
    const Nanos period = std::max<Nanos>(1, source_.period);

    if (source_.running && !source_.queueMode) {
        // The free generator: whole runs of pulses that trigger nothing are counted at once.
        while (auto next = nextPulse()) {
            const Nanos t = *next;
            if (t > now) break;
            const std::uint64_t due = (now - t) / period + 1;
            if (!triggered) {
                account(t, period, due, s);
                break;
            }
            const std::uint64_t c = pfCount_[cc];
            const std::uint64_t j = (pf.phase + pf.downscale - c % pf.downscale) % pf.downscale;
            if (j >= due) {
                account(t, period, due, s);
                break;
            }
            const Nanos at = t + j * period + pf.delay;
            if (at < cameraBusyUntil_) {
                // Passing pulses while the camera is busy: each one is a missed trigger.
                const Nanos step = pf.downscale * period;
                const std::uint64_t busy = (cameraBusyUntil_ - at + step - 1) / step;
                const std::uint64_t available = (due - j - 1) / pf.downscale + 1;
                const std::uint64_t missed = std::min(busy, available);
                missing_ = true;
                count(ModelEvent::MissingFrame, missed);
                account(t, period, j + (missed - 1) * pf.downscale + 1, s);
                continue;
            }
            account(t, period, j + 1, s);
            cameraTrigger(at, exposure, s.frames);
        }
    } else if (source_.running) {
        // The queue, fed by software pulses and, in external mode, by the selected input: its
        // outputs and the input's edges in time order, an input edge first on a tie.
        if ((read(r.selectExternal) & 1) != 0) {
            s.needInputs();
            s.feedsQueue = s.selected < kInputs;
        }
        for (;;) {
            const std::optional<Nanos> pending = nextPulse();
            const bool due = pending && *pending <= now;
            const Nanos t = due ? *pending : now;
            if (s.feedsQueue) {
                InputPin& pin = inputs_[s.selected];
                if (auto e = pin.next(s.debounceNs, t)) {
                    pin.take(*e);
                    inputEdge(s.selected, *e, s);
                    continue;
                }
            }
            if (!due) break;
            // One output pulse per step, each input pulse multiplied.
            if (source_.burstLeft == 0) {
                --source_.queued;
                source_.burstLeft = std::max<std::uint64_t>(1, read(r.sequenceDownscale));
            }
            --source_.burstLeft;
            const bool passes = triggered && pfCount_[cc] % pf.downscale == pf.phase;
            account(t, period, 1, s);
            if (passes) cameraPulse(t + pf.delay, s);
            source_.nextOut = t + period;
        }
    }
    if (!triggered && !cameraTriggered(r, read) && ccSelect != kSelectBypass && s.delivers()) {
        // Free-running: the camera's own rate; the simulator as fast as it generates.
        const Nanos freePeriod =
            (read(r.genEnable) & 1) != 0 ? exposure : clampFrameTime(1e9 / camera_.freeRunHz);
        freeRunFrames(now, freePeriod, exposure, s.frames);
    }
}

void Pipeline::advance(Nanos now, const ModelRegisters& r, const ReadRegister& read,
                       const std::array<std::uint32_t, kLutEntries>& lut) {
    Frames frames;
    Step s(*this, now, r, read, frames);
    // A held generator with a triggered camera: nothing can happen but inputs and deliveries.
    if (source_.running || !cameraTriggered(r, read)) {
        source_.period = generatorPeriod(r, read);
        emitPulses(s);
    }
    drainInputs(s);

    if (!frames.empty()) {
        const FrameFormat fmt = format(r, read);
        const std::uint64_t bytes = fmt.frameBytes();
        const std::uint64_t selectPeriod = std::max<std::uint64_t>(1, read(r.selectPeriod));
        const std::uint64_t selectPhase = read(r.selectPhase);
        std::vector<Taken> taken;
        for (const auto& [t, frame] : frames) {
            // Pictures the DMA finished before this frame have left the buffer.
            deliver(t);
            count(ModelEvent::FrameStart);
            count(ModelEvent::FrameEnd);
            // The image selector passes one frame of every period, the one numbered `phase`.
            if (selectorFrames_++ % selectPeriod != selectPhase) continue;
            store(t, frame, bytes, s.exposure(), taken);
        }
        // Only the pictures still in the ring of buffers at the end are drawn; older ones
        // would be overwritten before anyone could look.
        const std::size_t ring = buffers_.buffers.size();
        if (ring == 0) taken.clear();
        const std::size_t first = taken.size() > ring ? taken.size() - ring : 0;
        for (std::size_t i = first; i < taken.size(); ++i) {
            void* target = buffers_.buffers[static_cast<std::size_t>(taken[i].picture - 1) % ring];
            renderFrame(fmt, lut, taken[i].frame, target, buffers_.bufferSize);
        }
    }
    deliver(now);
}

// A frame that passed the image selector at time t: handed to the DMA, or kept in the board's
// buffer while no acquisition runs. The buffer's two banks take frames in turn; a frame that
// does not fit its bank is lost to the overflow.
void Pipeline::store(Nanos t, std::uint64_t frame, std::uint64_t bytes, Nanos exposure,
                     std::vector<Taken>& taken) {
    auto lose = [&](bool byDma) {
        overflow_ = true;
        if (!overflowing_) count(ModelEvent::Overflow);
        overflowing_ = true;
        if (byDma) {
            ++dma_.lost;
            count(ModelEvent::FrameLost);
        }
    };
    const auto bank = static_cast<int>(bankFrames_ % 2);
    if (!dma_.active) {
        if (bankBytes_[bank] + bytes > kBankBytes) return lose(false);
        bankBytes_[bank] += bytes;
        ++bankFrames_;
        overflowing_ = false;
        return;
    }
    if (requested_ >= 0 && assigned_ >= requested_) return;
    const double bandwidth = camera_.dmaBytesPerSecond;
    int held = -1;
    Nanos transfer = 0;
    if (bandwidth > 0) {
        // A limited DMA drains the buffer one picture after the other; until a picture has
        // left, it holds its place in its bank.
        if (bankBytes_[bank] + bytes > kBankBytes) return lose(true);
        bankBytes_[bank] += bytes;
        ++bankFrames_;
        held = bank;
        transfer = static_cast<Nanos>(std::llround(static_cast<double>(bytes) / bandwidth * 1e9));
    }
    overflowing_ = false;
    const Nanos done = std::max(t + exposure, dmaFreeAt_) + transfer;
    dmaFreeAt_ = done;
    taken.push_back(Taken{++assigned_, frame});
    inFlight_.push_back(InFlight{done, assigned_, bytes, held});
}

void Pipeline::deliver(Nanos upTo) {
    while (!inFlight_.empty() && inFlight_.front().done <= upTo) {
        const InFlight& f = inFlight_.front();
        dma_.lastPicture = f.picture;
        dma_.transferLength = buffers_.buffers.empty()
                                  ? f.bytes
                                  : std::min<std::uint64_t>(f.bytes, buffers_.bufferSize);
        if (requested_ >= 0 && f.picture >= requested_) dma_.active = false;
        if (f.bank >= 0) bankBytes_[static_cast<std::size_t>(f.bank)] -= f.bytes;
        inFlight_.pop_front();
    }
}

void Pipeline::written(Nanos now, std::uint32_t id, std::uint64_t value, const ModelRegisters& r,
                       const ReadRegister& read) {
    if (id >= r.actsOn.size() || !r.actsOn[id]) return;
    if (id == r.clearQueuePulse) {
        if ((value & 1) != 0) {
            source_.running = false;
            source_.queued = 0;
            source_.burstLeft = 0;
        } else if (!source_.running) {
            source_.running = true;
            reanchorGenerator(now);
        }
    } else if (id == r.enableQueue) {
        source_.queueMode = (value & 1) != 0;
        reanchorGenerator(now);
    } else if (id == r.minimumPeriod) {
        // A new rate takes over from the next pulse, one new period from now.
        if (source_.running && !source_.queueMode) {
            reanchorGenerator(now + generatorPeriod(r, read));
        }
    } else if (id == r.softwareTrigger && value == kPulse) {
        offerPulse(now, r, read);
    } else if (id == r.clearSequence && value == kPulse) {
        source_.burstLeft = 0;
    } else if ((id == r.resetMissing || id == r.clearMissingFrame) && value == kPulse) {
        missing_ = false;
    } else if (id == r.clearOverride && value == kPulse) {
        exceeded_ = false;
    } else if (id == r.outputStatsClear && value == kPulse) {
        outputPulses_ = 0;
    } else if (id == r.inputDownscaleClear && value == kPulse) {
        inputPassed_ = 0;
    } else if (id == r.statsClearPulses && value == kPulse) {
        inputPulses_ = 0;
    } else if (id == r.statsClearMinMax) {
        // The design clears the minimum and maximum on every change of this bit.
        if (value != clearMinMax_) maxPeriod_ = minPeriod_ = 0;
        clearMinMax_ = value;
    } else if (id == r.inputSelect || id == r.inputInvert) {
        // A period is measured between two active edges of one input at one polarity.
        lastActive_.reset();
    } else if (id == r.genEnable || id == r.genStart || id == r.genLineWidth || id == r.genHeight ||
               id == r.genActive || id == r.genPassive) {
        // The camera source or its timing changed: free-running starts over, one frame
        // time from now.
        freeRunAnchor_ = now;
        freeRunIndex_ = 1;
    } else {
        for (std::uint32_t n = 0; n < kPulseForms; ++n) {
            if (id == r.pfClear[n] && value == kPulse) pfCount_[n] = 0;
        }
        for (std::uint32_t k = 0; k < kLines; ++k) {
            if (id != r.lineSelect[k] && id != r.lineInvert[k]) continue;
            // A pulse of the bypassed input ends for this line when the line is re-routed.
            lines_[k].close(now);
            if (k == 0 && id == r.lineSelect[0]) {
                freeRunAnchor_ = now;
                freeRunIndex_ = 1;
            }
        }
    }
}

std::optional<std::uint64_t> Pipeline::live(Nanos now, std::uint32_t id, const ModelRegisters& r,
                                            const ReadRegister&) const {
    if (id == 0) return std::nullopt;
    if (id == r.overflow) return overflow_ ? 1 : 0;
    if (id == r.fillLevel0) return bankBytes_[0] * 100 / kBankBytes;
    if (id == r.fillLevel1) return bankBytes_[1] * 100 / kBankBytes;
    const bool holding = source_.burstLeft > 0 || source_.queued > 0;
    if (id == r.maximumReached) {
        if (!source_.queueMode) return source_.running ? 0 : 1;
        return holding || source_.nextOut > now ? 0 : 1;
    }
    if (id == r.queueValue) return source_.queued;
    if (id == r.queueStatus) {
        std::uint64_t status = exceeded_ ? 1 : 0;
        if (source_.queueMode && source_.queued + (source_.burstLeft > 0 ? 1 : 0) >= 2040)
            status |= 2;
        if (missing_) status |= 4;
        return status;
    }
    if (id == r.outputStatsPulses) return outputPulses_ & 0xFFFFFFFFu;
    if (id == r.frameCounter) return cameraFrames_ & ((1ull << 40) - 1);
    if (id == r.timestamp) return now;
    if (id == r.inputStatus) {
        std::uint64_t levels = 0;
        for (std::uint32_t i = 0; i < kInputs; ++i)
            levels |= std::uint64_t{inputs_[i].level()} << i;
        return levels;
    }
    if (id == r.statsPulses) return inputPulses_ & 0xFFFFFFFFu;
    if (id == r.statsPeriod) return period_;
    if (id == r.statsMax) return maxPeriod_;
    if (id == r.statsMin) return minPeriod_;
    return std::nullopt;
}

std::optional<Nanos> Pipeline::nextEvent(Nanos now, const ModelRegisters& r,
                                         const ReadRegister& read) {
    std::optional<Nanos> next;
    auto consider = [&](Nanos t) {
        if (t > now && (!next || t < *next)) next = t;
    };
    if (!inFlight_.empty()) consider(inFlight_.front().done);
    const bool delivers = sourceDelivers(r, read);
    if (!delivers) return next;
    const Nanos period = generatorPeriod(r, read);
    const std::uint64_t ccSelect = read(r.lineSelect[0]);
    // The next edge of an input that can start a frame; a lower bound is enough, since a wait
    // only advances to it and looks again.
    auto considerInput = [&](std::uint32_t input) {
        if (input >= kInputs) return;
        if (auto t = inputs_[input].earliest(read(r.debounce) * kDebounceUnitNs))
            consider(std::max(*t, now + 1));
    };
    if (cameraTriggered(r, read)) {
        if ((read(r.pulseFormEnable) & 1) == 0) return next;
        if (auto p = nextPulse()) {
            const auto cc = static_cast<std::uint32_t>(ccSelect);
            const PulseForm pf = pulseForm(r, read, cc);
            Nanos t = *p;
            if (!source_.queueMode) {
                const std::uint64_t c = pfCount_[cc];
                t += ((pf.phase + pf.downscale - c % pf.downscale) % pf.downscale) * period;
            }
            consider(std::max(t, now + 1));
        }
        if (source_.running && source_.queueMode && (read(r.selectExternal) & 1) != 0)
            considerInput(inputOf(read(r.inputSelect)));
    } else if (ccSelect == kSelectBypass) {
        considerInput(inputOf(read(r.bypassSelect)));
    } else {
        const Nanos freePeriod = (read(r.genEnable) & 1) != 0
                                     ? frameTime(r, read)
                                     : clampFrameTime(1e9 / camera_.freeRunHz);
        consider(freeRunAnchor_ + freeRunIndex_ * freePeriod);
    }
    return next;
}

std::optional<std::uint64_t> Pipeline::eventCount(std::string_view name) const {
    for (std::size_t i = 0; i < kEventNames.size(); ++i) {
        if (name == kEventNames[i]) return events_[i];
    }
    if (!name.starts_with(kInputEventPrefix)) return std::nullopt;
    std::string_view pin = name.substr(kInputEventPrefix.size());
    const bool falling = pin.starts_with("NotPin");
    if (!falling && !pin.starts_with("Pin")) return std::nullopt;
    pin.remove_prefix(falling ? 6 : 3);
    if (pin.size() != 1 || pin[0] < '0' || pin[0] >= static_cast<char>('0' + kInputs))
        return std::nullopt;
    const InputPin& input = inputs_[static_cast<std::size_t>(pin[0] - '0')];
    return falling ? input.falling() : input.rising();
}

void Pipeline::setSignal(Nanos now, std::uint32_t input, const VbSignal& signal,
                         const SignalPlan& plan) {
    signals_[input] = signal;
    inputs_[input].setSignal(now, plan);
    busyInputs_ |= 1u << input;
}

void Pipeline::startDma(Nanos now, std::int64_t pictures, DmaBuffers buffers) {
    dma_ = DmaStatus{};
    dma_.active = true;
    requested_ = pictures;
    assigned_ = 0;
    buffers_ = std::move(buffers);
    inFlight_.clear();
    dmaFreeAt_ = now;
    // A new acquisition starts from an empty board buffer and a fresh image selector.
    selectorFrames_ = 0;
    overflow_ = false;
    overflowing_ = false;
    bankBytes_ = {};
    bankFrames_ = 0;
}

void Pipeline::stopDma() {
    dma_.active = false;
    // Pictures still in the buffer for the DMA are dropped with it.
    for (const InFlight& f : inFlight_) {
        if (f.bank >= 0) bankBytes_[static_cast<std::size_t>(f.bank)] -= f.bytes;
    }
    inFlight_.clear();
    buffers_ = DmaBuffers{};
}

} // namespace vboard
