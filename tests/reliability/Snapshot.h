// What the reliability suites share: an applet opened on a board of the virtual board that any
// thread can own, the applet's whole observable state as one comparable value, and the
// virtual board's write log.
#pragma once

#include "Harness.h"

#include <pellvane/parameters.h>

#include "pellvane/ParameterInfoNode.h"

#include <array>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace pvrel {

using pvtest::Exports;

class AppletOnBoard {
public:
    AppletOnBoard(const Exports& x, VbBoard* board);
    ~AppletOnBoard();
    AppletOnBoard(const AppletOnBoard&) = delete;
    AppletOnBoard& operator=(const AppletOnBoard&) = delete;

    bool opened() const { return fg_.applet != nullptr; }
    int32_t entryError() const { return entryError_; }
    void* fg() { return &fg_; }
    const Exports& x() const { return x_; }

    int32_t set(int32_t id, const void* value) {
        return x_.Fg_setParameterWithType(&fg_, id, value, 0, 2);
    }
    int32_t setInt(int32_t id, int32_t v) { return set(id, &v); }
    int32_t setDouble(int32_t id, double v) { return set(id, &v); }
    int32_t getInt(int32_t id, int32_t& v);
    int32_t getDouble(int32_t id, double& v);

    // Every parameter node of the applet's information tree, by parameter identifier.
    std::map<int32_t, const ParameterInfoNode*> nodes();

private:
    const Exports& x_;
    pvtest::FgRecord fg_;
    int32_t entryError_ = 0;
};

// What a get answers: its result and the bytes it wrote (text for strings).
struct Reading {
    int32_t result = 0;
    std::string bytes;
    bool operator==(const Reading&) const = default;
};

// What an information node advertises that can change at run time.
struct NodeState {
    int32_t access = 0;
    std::array<uint64_t, 3> limits{}; // the raw a, b and c words of number nodes
    bool operator==(const NodeState&) const = default;
};

// Everything an application can observe of the applet: every parameter by identifier (the
// lookup-table entries as identifier FG_LUT_VALUE and up, one per sampled index), and every
// information node.
struct Snapshot {
    std::map<int64_t, Reading> values;
    std::map<int32_t, NodeState> nodes;
};

// Lookup-table entries are keyed by kLutKeyBase + index.
constexpr int64_t kLutKeyBase = int64_t{1} << 32;

Snapshot takeSnapshot(AppletOnBoard& applet);

// One logged register write.
struct Write {
    std::string reg;
    int32_t kind = 0;
    uint64_t value = 0;
    uint32_t index = 0;
    int32_t result = 0;
    bool operator==(const Write&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Write& w);

// Every register write the virtual board saw since the log was last cleared.
std::vector<Write> loggedWrites();

} // namespace pvrel
