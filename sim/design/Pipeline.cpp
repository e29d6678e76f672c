#include "Pipeline.h"

#include <algorithm>
#include <chrono>
#include <cstring>

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
};

PulseForm pulseForm(const ModelRegisters& r, const Pipeline::ReadRegister& read, std::uint32_t n) {
    std::uint64_t d = std::max<std::uint64_t>(1, read(r.pfDownscale[n]));
    // The selected-pulse register holds the phase plus one.
    std::uint64_t selected = read(r.pfSelected[n]);
    std::uint64_t phase = (selected + d - 1) % d;
    return PulseForm{d, phase, read(r.pfDelay[n]) * kTickNs};
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
        pfClear[n] = id(g + "_ClearDownscale_Mode");
    }
    cc0Select = id(t + "CameraControl_Select0_Select_Select");
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

// ---- timing ----

Nanos Pipeline::frameTime(const ModelRegisters& r, const ReadRegister& read) const {
    if ((read(r.genEnable) & 1) == 0) return clampFrameTime(camera_.frameTimeUs * 1000.0);
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
// pulse-form generator; on a constant level it free-runs; on the bypassed input, which the
// virtual board keeps idle, it waits.
bool Pipeline::cameraTriggered(const ModelRegisters& r, const ReadRegister& read) const {
    return read(r.cc0Select) < kPulseForms;
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

// `pulses` output pulses of the generator reach the pulse-form generators.
void Pipeline::account(std::uint64_t pulses, const ModelRegisters& r, const ReadRegister& read) {
    if (source_.running && !source_.queueMode) source_.index += pulses;
    if ((read(r.pulseFormEnable) & 1) == 0) return;
    const std::uint64_t statsOf = read(r.outputStatsSelect);
    const std::uint64_t eventOf = read(r.outputEventSelect);
    for (std::uint32_t n = 0; n < kPulseForms; ++n) {
        PulseForm pf = pulseForm(r, read, n);
        std::uint64_t before = pfCount_[n];
        pfCount_[n] += pulses;
        std::uint64_t passed = passesBelow(pfCount_[n], pf.downscale, pf.phase) -
                               passesBelow(before, pf.downscale, pf.phase);
        if (n == statsOf) outputPulses_ += passed;
        if (n == eventOf) count(ModelEvent::OutputEvent, passed);
    }
}

void Pipeline::cameraTrigger(Nanos t, Nanos frameTime,
                             std::vector<std::pair<Nanos, std::uint64_t>>& frames) {
    cameraBusyUntil_ = t + frameTime;
    frames.emplace_back(t, cameraFrames_++);
}

void Pipeline::freeRunFrames(Nanos now, Nanos period, Nanos frameTime,
                             std::vector<std::pair<Nanos, std::uint64_t>>& frames) {
    while (freeRunAnchor_ + freeRunIndex_ * period <= now) {
        cameraTrigger(freeRunAnchor_ + freeRunIndex_ * period, frameTime, frames);
        ++freeRunIndex_;
    }
}

// Output pulses up to `now`; the camera frames they trigger go to `frames`.
void Pipeline::emitPulses(Nanos now, const ModelRegisters& r, const ReadRegister& read,
                          std::vector<std::pair<Nanos, std::uint64_t>>& frames) {
    const bool triggered =
        cameraTriggered(r, read) && (read(r.pulseFormEnable) & 1) != 0 && sourceDelivers(r, read);
    const std::uint32_t cc = static_cast<std::uint32_t>(read(r.cc0Select));
    const PulseForm pf = triggered ? pulseForm(r, read, cc) : PulseForm{1, 0, 0};
    const Nanos exposure = frameTime(r, read);
    const Nanos period = std::max<Nanos>(1, source_.period);

    // A trigger the camera cannot take because a frame is still under way is missed.
    auto trigger = [&](Nanos t) {
        if (t < cameraBusyUntil_) {
            missing_ = true;
            count(ModelEvent::MissingFrame);
            return;
        }
        cameraTrigger(t, exposure, frames);
    };

    while (auto next = nextPulse()) {
        const Nanos t = *next;
        if (t > now) break;
        if (!source_.queueMode) {
            // The free generator: whole runs of pulses that trigger nothing are counted at once.
            const std::uint64_t due = (now - t) / period + 1;
            if (!triggered) {
                account(due, r, read);
                break;
            }
            const std::uint64_t c = pfCount_[cc];
            const std::uint64_t j = (pf.phase + pf.downscale - c % pf.downscale) % pf.downscale;
            if (j >= due) {
                account(due, r, read);
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
                account(j + (missed - 1) * pf.downscale + 1, r, read);
                continue;
            }
            account(j + 1, r, read);
            cameraTrigger(at, exposure, frames);
            continue;
        }
        // The queue: one output pulse per step, each input pulse multiplied.
        if (source_.burstLeft == 0) {
            --source_.queued;
            source_.burstLeft = std::max<std::uint64_t>(1, read(r.sequenceDownscale));
        }
        --source_.burstLeft;
        const bool passes = triggered && pfCount_[cc] % pf.downscale == pf.phase;
        account(1, r, read);
        if (passes) trigger(t + pf.delay);
        source_.nextOut = t + period;
    }
    if (!triggered && !cameraTriggered(r, read) && read(r.cc0Select) != 4 &&
        sourceDelivers(r, read)) {
        // Free-running: the camera's own rate; the simulator as fast as it generates.
        const Nanos freePeriod =
            (read(r.genEnable) & 1) != 0 ? exposure : clampFrameTime(1e9 / camera_.freeRunHz);
        freeRunFrames(now, freePeriod, exposure, frames);
    }
}

void Pipeline::advance(Nanos now, const ModelRegisters& r, const ReadRegister& read,
                       const std::array<std::uint32_t, kLutEntries>& lut) {
    std::vector<std::pair<Nanos, std::uint64_t>> frames;
    // A held generator with a triggered camera: nothing can happen but deliveries.
    if (source_.running || !cameraTriggered(r, read)) {
        source_.period = generatorPeriod(r, read);
        emitPulses(now, r, read, frames);
    }

    if (!frames.empty()) {
        const FrameFormat fmt = format(r, read);
        const std::uint64_t bytes = fmt.frameBytes();
        const std::uint64_t selectPeriod = std::max<std::uint64_t>(1, read(r.selectPeriod));
        const std::uint64_t selectPhase = read(r.selectPhase);
        const Nanos exposure = frameTime(r, read);
        std::vector<Taken> taken;
        for (const auto& [t, frame] : frames) {
            count(ModelEvent::FrameStart);
            count(ModelEvent::FrameEnd);
            // The image selector passes one frame of every period, the one numbered `phase`.
            if (selectorFrames_++ % selectPeriod != selectPhase) continue;
            if (dma_.active) {
                if (requested_ >= 0 && assigned_ >= requested_) continue;
                taken.push_back(Taken{++assigned_, frame});
                inFlight_.push_back(InFlight{t + exposure, assigned_, bytes});
                continue;
            }
            // No DMA running: the frame waits in the board's buffer, banks taking turns,
            // until the buffer is full; from then on frames are lost to the overflow.
            std::uint64_t& bank = bankBytes_[bankFrames_ % 2];
            if (bank + bytes > kBankBytes) {
                if (!overflow_) count(ModelEvent::Overflow);
                overflow_ = true;
                continue;
            }
            bank += bytes;
            ++bankFrames_;
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

    while (!inFlight_.empty() && inFlight_.front().done <= now) {
        const InFlight& f = inFlight_.front();
        dma_.lastPicture = f.picture;
        dma_.transferLength = buffers_.buffers.empty()
                                  ? f.bytes
                                  : std::min<std::uint64_t>(f.bytes, buffers_.bufferSize);
        if (requested_ >= 0 && f.picture >= requested_) dma_.active = false;
        inFlight_.pop_front();
    }
}

void Pipeline::written(Nanos now, std::uint32_t id, std::uint64_t value, const ModelRegisters& r,
                       const ReadRegister& read) {
    if (id == 0) return;
    constexpr std::uint64_t kPulse = 2; // "mode" registers act on a write of 2
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
        if (!source_.running || !source_.queueMode) return;
        const bool queueOn = (read(r.queueEnabled) & 1) != 0;
        const std::uint64_t held = source_.queued + (source_.burstLeft > 0 ? 1 : 0);
        const bool accepted = queueOn ? held < std::max<std::uint64_t>(1, read(r.queueFullValue))
                                      : held == 0 && source_.nextOut <= now;
        if (!accepted) {
            // The pulse came faster than the period limit lets pulses through.
            exceeded_ = true;
            count(ModelEvent::Override);
            return;
        }
        if (held == 0) source_.nextOut = std::max(source_.nextOut, now);
        ++source_.queued;
    } else if (id == r.clearSequence && value == kPulse) {
        source_.burstLeft = 0;
    } else if ((id == r.resetMissing || id == r.clearMissingFrame) && value == kPulse) {
        missing_ = false;
    } else if (id == r.clearOverride && value == kPulse) {
        exceeded_ = false;
    } else if (id == r.outputStatsClear && value == kPulse) {
        outputPulses_ = 0;
    } else if (id == r.cc0Select || id == r.genEnable || id == r.genStart || id == r.genLineWidth ||
               id == r.genHeight || id == r.genActive || id == r.genPassive) {
        // The camera source or its timing changed: free-running starts over, one frame
        // time from now.
        freeRunAnchor_ = now;
        freeRunIndex_ = 1;
    } else {
        for (std::uint32_t n = 0; n < kPulseForms; ++n) {
            if (id == r.pfClear[n] && value == kPulse) pfCount_[n] = 0;
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
    return std::nullopt;
}

std::optional<Nanos> Pipeline::nextEvent(Nanos now, const ModelRegisters& r,
                                         const ReadRegister& read) const {
    std::optional<Nanos> next;
    auto consider = [&](Nanos t) {
        if (t > now && (!next || t < *next)) next = t;
    };
    if (!inFlight_.empty()) consider(inFlight_.front().done);
    const bool delivers = sourceDelivers(r, read);
    if (!delivers) return next;
    const Nanos period = generatorPeriod(r, read);
    if (cameraTriggered(r, read)) {
        if ((read(r.pulseFormEnable) & 1) == 0) return next;
        if (auto p = nextPulse()) {
            const std::uint32_t cc = static_cast<std::uint32_t>(read(r.cc0Select));
            const PulseForm pf = pulseForm(r, read, cc);
            Nanos t = *p;
            if (!source_.queueMode) {
                const std::uint64_t c = pfCount_[cc];
                t += ((pf.phase + pf.downscale - c % pf.downscale) % pf.downscale) * period;
            }
            consider(std::max(t, now + 1));
        }
    } else if (read(r.cc0Select) != 4) {
        const Nanos freePeriod = (read(r.genEnable) & 1) != 0
                                     ? frameTime(r, read)
                                     : clampFrameTime(1e9 / camera_.freeRunHz);
        consider(freeRunAnchor_ + freeRunIndex_ * freePeriod);
    }
    return next;
}

void Pipeline::startDma(Nanos /*now*/, std::int64_t pictures, DmaBuffers buffers) {
    dma_ = DmaStatus{};
    dma_.active = true;
    requested_ = pictures;
    assigned_ = 0;
    buffers_ = std::move(buffers);
    inFlight_.clear();
    // A new acquisition starts from an empty board buffer and a fresh image selector.
    selectorFrames_ = 0;
    overflow_ = false;
    bankBytes_ = {};
    bankFrames_ = 0;
}

void Pipeline::stopDma() {
    dma_.active = false;
    inFlight_.clear();
    buffers_ = DmaBuffers{};
}

} // namespace vboard
