// What the benchmarks share: the applet loaded as a host loads it, a board opened on the
// virtual board, and a raw host handle for the baseline register accesses.
#pragma once

#include "pellvane/ParameterInfoNode.h"
#include "vboard/vboard.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace pvbench {

// The host's identifier of a design register is this plus the runtime's identifier.
constexpr int32_t kHostRegisterBase = 0x10000;

struct AppletExports {
    void* (*Std_entry)(void*, int32_t*, int32_t);
    int32_t (*Info)(int32_t, int32_t, int32_t, void*, const void**);
    int32_t (*Fg_setParameterWithType)(void*, int32_t, const void*, uint32_t, int32_t);
    int32_t (*Fg_getParameterWithType)(void*, int32_t, void*, uint32_t, int32_t);
    int32_t (*Fg_getParameterIdByName)(void*, const char*);
    int32_t (*Fg_saveConfig)(void*, const char*);
    int32_t (*Fg_loadConfig)(void*, const char*);
    void* (*Fg_getParameterInfo)(void*, int32_t);
    int32_t (*Fg_FreeGrabber)(void*);
};

// Loads a library by the name the system gives it ("Pellvane.so", "libkestlib5.so") and looks
// up its symbols; throws when something is missing.
class Loaded {
public:
    explicit Loaded(const char* file);
    ~Loaded();
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    void* symbol(const char* name) const;

private:
    void* handle_;
};

// The applet's exports, without a board.
class Applet {
public:
    Applet();
    const AppletExports& x() const { return x_; }

private:
    Loaded library_;
    AppletExports x_{};
};

// An applet object on board 0 of a fresh virtual board.
class Board {
public:
    Board();
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;
    void* fg() { return record_; }
    const AppletExports& x() const { return applet_.x(); }
    // Sets a 32-bit integer or a double parameter; true when the applet accepts it.
    bool set(int32_t id, int32_t value);
    bool set(int32_t id, double value);

private:
    Applet applet_;
    void* record_[4] = {};
};

// The host library's own register path, without the applet: the baseline every applet call
// is compared with. It works on board 1, so that it never disturbs the applet's board 0.
class RawHost {
public:
    RawHost();
    ~RawHost();
    RawHost(const RawHost&) = delete;
    RawHost& operator=(const RawHost&) = delete;
    int32_t registerId(const char* name);
    // A design register through the host (32 bits, type code 2); `id` is the host's identifier.
    int32_t write(int32_t id, uint32_t value);
    int32_t read(int32_t id, uint32_t* value);
    // The whole 4096-entry lookup table through the host (type code 4096).
    int32_t writeTable(int32_t id, const uint32_t* entries);
    // One lookup-table entry through the host (type code 4098).
    int32_t writeEntry(int32_t id, uint32_t index, uint32_t value);
    // A host parameter of its own (FG_TIMEOUT, FG_NR_OF_DMAS), 32-bit integer (type code 1).
    int32_t setOwn(int32_t id, int32_t value);
    int32_t getOwn(int32_t id, int32_t* value);
    // A register through the hardware access library, by the runtime's identifier.
    int32_t hardwareWrite(uint32_t registerId, uint64_t value);

private:
    using SetFn = int32_t (*)(void*, int32_t, const void*, uint32_t, int32_t);
    using GetFn = int32_t (*)(void*, int32_t, void*, uint32_t, int32_t);
    using HardwareWriteFn = int32_t (*)(void*, uint32_t, uint64_t);

    Loaded host_;
    Loaded runtime_;
    Loaded hardware_;
    SetFn set_ = nullptr;
    GetFn get_ = nullptr;
    HardwareWriteFn hardwareWrite_ = nullptr;
    void* hap_ = nullptr;
    void* board_ = nullptr;
    void* handle_ = nullptr;
};

// The writes the virtual board has logged since its log was last cleared.
std::vector<VbWrite> loggedWrites();

// Makes the same writes again on the raw host's board, each through the library that made it
// (the host, or the hardware access library); a whole lookup table is written as zeros. 0, or
// the first failure.
int32_t replay(RawHost& host, const std::vector<VbWrite>& writes);

// The virtual board logs every register write; benchmarks that write call this once per
// iteration, on the applet side and the raw side alike, so that the log stays short.
inline void trimLog(int64_t& calls) {
    if ((++calls & 0xff) == 0) vb_log_clear();
}

// Every heap block an information tree holds: each node, its strings and its arrays (the
// children of a category; the names, values and symbols of an enumeration). The sizes are what
// a tree of this shape must allocate, whoever builds it.
std::vector<std::size_t> treeAllocations(const ParameterInfoNode* lastRoot);

// Visits every node of a tree once, from the last root category back through the earlier ones.
template <class Visit>
void walkTree(const ParameterInfoNode* lastRoot, Visit&& visit) {
    std::vector<const ParameterInfoNode*> work;
    for (const ParameterInfoNode* r = lastRoot; r != nullptr; r = r->previousRoot)
        work.push_back(r);
    while (!work.empty()) {
        const ParameterInfoNode* node = work.back();
        work.pop_back();
        visit(*node);
        if (node->kind != PI_KIND_CATEGORY) continue;
        for (int32_t i = 0; i < node->a.childCount; ++i)
            if (node->b.children[i] != nullptr) work.push_back(node->b.children[i]);
    }
}

} // namespace pvbench
