// What the benchmarks share: the applet loaded as a host loads it, a board opened on the
// virtual board, and a raw host handle for the baseline register accesses.
#pragma once

#include "vboard/vboard.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pvbench {

struct AppletExports {
    void* (*Std_entry)(void*, int32_t*, int32_t);
    int32_t (*Info)(int32_t, int32_t, int32_t, void*, const void**);
    int32_t (*Fg_setParameterWithType)(void*, int32_t, const void*, uint32_t, int32_t);
    int32_t (*Fg_getParameterWithType)(void*, int32_t, void*, uint32_t, int32_t);
    int32_t (*Fg_getParameterIdByName)(void*, const char*);
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

// An applet object on board 0 of a fresh virtual board.
class Board {
public:
    Board();
    ~Board();
    void* fg() { return record_; }
    const AppletExports& x() const { return x_; }

private:
    Loaded applet_;
    AppletExports x_{};
    void* record_[4] = {};
};

// The host library's own register path, without the applet: the baseline every applet call
// is compared with.
class RawHost {
public:
    RawHost();
    ~RawHost();
    int32_t registerId(const char* name);
    int32_t write(int32_t id, uint32_t value);
    int32_t read(int32_t id, uint32_t* value);

private:
    Loaded host_;
    Loaded runtime_;
    void* hap_ = nullptr;
    void* handle_ = nullptr;
};

} // namespace pvbench
