#include "InputSignal.h"

#include <algorithm>
#include <cmath>

namespace vboard {

namespace {

constexpr double kMaxFrequencyHz = 1e7;
constexpr double kMaxDelayUs = 1e9; // 1000 s
constexpr std::uint32_t kMaxGlitches = 64;
// A glitch needs room to begin and end inside its share of the bounce time.
constexpr Nanos kMinGlitchSlot = 10;

Nanos toNanos(double us) {
    return static_cast<Nanos>(std::llround(us * 1000.0));
}

bool finiteNonNegative(double v) {
    return std::isfinite(v) && v >= 0;
}

// splitmix64: a good hash of one 64-bit word, so each draw depends on (seed, pulse, draw) only.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A draw in [0, 1).
double draw(std::uint64_t seed, std::uint64_t pulse, std::uint64_t n) {
    const std::uint64_t h = mix(mix(seed ^ mix(pulse)) + n);
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

} // namespace

VbSignal defaultSignal() {
    VbSignal s{};
    s.mode = VB_SIGNAL_LEVEL;
    s.level = 0;
    s.frequencyHz = 50.0;
    s.widthUs = 100.0;
    s.count = 0;
    s.glitches = 3;
    s.burstPulses = 0;
    s.burstHz = 0.0;
    s.seed = 1;
    return s;
}

const char* planSignal(const VbSignal& s, SignalPlan* plan) {
    if (s.mode != VB_SIGNAL_LEVEL && s.mode != VB_SIGNAL_PULSES)
        return "the mode must be VB_SIGNAL_LEVEL or VB_SIGNAL_PULSES";
    if (s.level != 0 && s.level != 1) return "the level must be 0 or 1";
    SignalPlan p;
    p.idle = s.level != 0;
    p.pulses = s.mode == VB_SIGNAL_PULSES;
    if (p.pulses) {
        if (!(std::isfinite(s.frequencyHz) && s.frequencyHz > 0 &&
              s.frequencyHz <= kMaxFrequencyHz))
            return "the frequency must be above 0 Hz and at most 10 MHz";
        if (!(std::isfinite(s.widthUs) && s.widthUs > 0)) return "the width must be above 0";
        if (!finiteNonNegative(s.delayUs) || s.delayUs > kMaxDelayUs)
            return "the delay must be 0 to 1000 s";
        if (!finiteNonNegative(s.jitterUs)) return "the jitter must be 0 or more";
        if (!finiteNonNegative(s.bounceUs)) return "the bounce must be 0 or more";
        p.period = static_cast<Nanos>(std::llround(1e9 / s.frequencyHz));
        p.width = toNanos(s.widthUs);
        p.delay = toNanos(s.delayUs);
        p.jitter = toNanos(s.jitterUs);
        p.bounce = toNanos(s.bounceUs);
        p.count = s.count;
        p.seed = s.seed;
        if (p.width == 0) return "the width must be at least 1 ns";
        if (p.bounce > 0) {
            if (s.glitches < 1 || s.glitches > kMaxGlitches)
                return "a bouncing edge has 1 to 64 glitches";
            if (p.bounce < kMinGlitchSlot * s.glitches)
                return "the bounce must last at least 10 ns per glitch";
            if (p.bounce >= p.width) return "the width must exceed the bounce";
            p.glitches = s.glitches;
        }
        // Each pulse, moved by its jitter and followed by its bounce, ends before the next.
        const Nanos occupied = p.width + p.bounce + p.jitter;
        if (occupied >= p.period)
            return "a pulse with its bounce and jitter must be shorter than its period";
        if (s.burstPulses > 1) {
            if (!(std::isfinite(s.burstHz) && s.burstHz > 0))
                return "bursts need a burst frequency above 0 Hz";
            p.burst = s.burstPulses;
            p.burstPeriod = static_cast<Nanos>(std::llround(1e9 / s.burstHz));
            if (static_cast<double>(p.burst - 1) * static_cast<double>(p.period) +
                    static_cast<double>(occupied) >=
                static_cast<double>(p.burstPeriod))
                return "a burst must be shorter than its burst period";
        }
    }
    if (plan != nullptr) *plan = p;
    return nullptr;
}

void SignalSource::start(Nanos now, const SignalPlan& plan, bool level) {
    plan_ = plan;
    pending_.clear();
    head_ = 0;
    next_ = 0;
    done_ = !plan.pulses;
    origin_ = now + plan.delay;
    if (plan.idle != level) pending_.push_back(Edge{now, plan.idle});
}

std::optional<Edge> SignalSource::peek() {
    if (head_ == pending_.size()) generate();
    if (head_ == pending_.size()) return std::nullopt;
    return pending_[head_];
}

void SignalSource::pop() {
    if (head_ < pending_.size()) ++head_;
}

void SignalSource::generate() {
    pending_.clear();
    head_ = 0;
    if (done_) return;
    if (plan_.count != 0 && next_ >= plan_.count) {
        done_ = true;
        return;
    }
    const std::uint64_t k = next_++;
    Nanos due = plan_.burst > 1
                    ? (k / plan_.burst) * plan_.burstPeriod + (k % plan_.burst) * plan_.period
                    : k * plan_.period;
    due += origin_;
    // Draw 0 is the jitter; 1 + 2g and 2 + 2g place glitch g.
    const Nanos start =
        plan_.jitter == 0
            ? due
            : due + static_cast<Nanos>(draw(plan_.seed, k, 0) * static_cast<double>(plan_.jitter));
    const bool active = !plan_.idle;
    Nanos last = start;
    auto push = [&](Nanos t, bool level) {
        last = std::max(t, last + (pending_.empty() ? 0 : 1));
        pending_.push_back(Edge{last, level});
    };
    // A bouncing contact falls back to the old level for a moment a few times after each edge:
    // glitch g sits in the g-th share of the bounce time, begins in its first half and lasts
    // a fifth to a half of it, so every glitch and every gap between them has some length.
    auto bounce = [&](Nanos edge, bool level, std::uint64_t drawBase) {
        if (plan_.glitches == 0) return;
        const double slot = static_cast<double>(plan_.bounce) / plan_.glitches;
        for (std::uint32_t g = 0; g < plan_.glitches; ++g) {
            const double begin = static_cast<double>(edge) + slot * g +
                                 slot * (0.1 + 0.3 * draw(plan_.seed, k, drawBase + 2 * g));
            const double length = slot * (0.2 + 0.3 * draw(plan_.seed, k, drawBase + 2 * g + 1));
            const auto b = static_cast<Nanos>(begin);
            push(b, !level);
            push(b + std::max<Nanos>(1, static_cast<Nanos>(length)), level);
        }
    };
    push(start, active);
    bounce(start, active, 1);
    const Nanos end = start + plan_.width;
    push(end, plan_.idle);
    bounce(end, plan_.idle, 1 + 2 * std::uint64_t{plan_.glitches});
}

void InputPin::setSignal(Nanos now, const SignalPlan& plan) {
    source_.start(now, plan, raw_);
}

std::optional<Edge> InputPin::next(Nanos debounce, Nanos limit) {
    for (;;) {
        const std::optional<Edge> r = source_.peek();
        if (raw_ != out_) {
            const Nanos due = since_ + debounce;
            if (!r || r->time >= due) {
                if (due <= limit) return Edge{due, raw_};
                return std::nullopt;
            }
        }
        if (!r || r->time > limit) return std::nullopt;
        // A raw change before the debounced level could follow the previous one: absorbed.
        raw_ = r->level;
        since_ = r->time;
        source_.pop();
    }
}

void InputPin::take(const Edge& e) {
    out_ = e.level;
    ++(e.level ? rising_ : falling_);
}

std::optional<Nanos> InputPin::earliest(Nanos debounce) {
    if (raw_ != out_) return since_ + debounce;
    const std::optional<Edge> r = source_.peek();
    if (!r) return std::nullopt;
    return r->time + debounce;
}

} // namespace vboard
