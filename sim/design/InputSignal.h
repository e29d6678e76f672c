// What drives the board's trigger inputs: a signal generator per input, and the debounce that
// each input pin passes before the design's input stage sees it.
//
// A signal is a sequence of raw level changes in time order, produced on demand: the generator
// keeps only the changes of the pulse under way, so an endless train costs nothing until the
// model reaches it. Jitter and bounce are drawn from a hash of (seed, pulse, draw), so a pulse
// looks the same whenever it is generated, and a seed repeats a run exactly.
#ifndef PELLVANE_SIM_INPUT_SIGNAL_H
#define PELLVANE_SIM_INPUT_SIGNAL_H

#include <vboard/vboard.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vboard {

using Nanos = std::uint64_t;

// A level change on a line at a time on the model's clock.
struct Edge {
    Nanos time;
    bool level;
};

// The signal settings in the model's units, checked.
struct SignalPlan {
    bool pulses = false;
    bool idle = false; // the level held, or between pulses
    Nanos period = 0, width = 0, delay = 0, jitter = 0, bounce = 0, burstPeriod = 0;
    std::uint64_t count = 0; // 0: endless
    std::uint32_t glitches = 0, burst = 1;
    std::uint64_t seed = 0;
};

// Checks control-interface settings; null and the plan in *plan when they can be generated,
// else the reason.
const char* planSignal(const VbSignal& signal, SignalPlan* plan);
VbSignal defaultSignal();

// One generator: the raw level changes of an input, in time order.
class SignalSource {
public:
    // Starts `plan` at `now`; `level` is the input's raw level at that moment.
    void start(Nanos now, const SignalPlan& plan, bool level);
    // The next raw change, if any (it may lie in the future).
    std::optional<Edge> peek();
    void pop();
    // Nothing queued and nothing more to come: the input holds its level.
    bool finished() const { return done_ && head_ == pending_.size(); }

private:
    void generate(); // queues the changes of the next pulse

    SignalPlan plan_;
    Nanos origin_ = 0; // when the first pulse is due
    std::uint64_t next_ = 0;
    // The changes of the pulse under way (pending_[head_] comes next): refilled in place, so
    // a running train allocates nothing.
    std::vector<Edge> pending_;
    std::size_t head_ = 0;
    bool done_ = true; // every pulse generated
};

// An input pin: its signal and the debounce behind it. A change of the raw level reaches the
// design only once the level has stayed for the debounce time, then delayed by that time;
// shorter glitches vanish.
class InputPin {
public:
    void setSignal(Nanos now, const SignalPlan& plan);
    // The next debounced change due by `limit`, or nothing. Calling it again gives the same
    // answer until take().
    std::optional<Edge> next(Nanos debounce, Nanos limit);
    void take(const Edge& e);
    // Earliest time after which a debounced change could come (for waits): nothing when the
    // pin will stay as it is.
    std::optional<Nanos> earliest(Nanos debounce);

    // No debounced change pending and none to come.
    bool quiet() const { return raw_ == out_ && source_.finished(); }
    bool level() const { return out_; }
    std::uint64_t rising() const { return rising_; }
    std::uint64_t falling() const { return falling_; }

private:
    SignalSource source_;
    bool raw_ = false; // raw level after every change absorbed so far
    Nanos since_ = 0;  // when the raw level last changed
    bool out_ = false; // debounced level
    std::uint64_t rising_ = 0, falling_ = 0;
};

} // namespace vboard

#endif
