// The applet's binding to the host library: the loaded module, the bound functions, the host's
// handle for this board, the board and image handles, the information tree and the last error.
#pragma once

#include "host/HostFunctions.h"
#include "parameters/ParameterInfoTree.h"
#include "platform/DynamicLibrary.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace pellvane {

struct HostBinding {
    HostBinding();
    ~HostBinding();
    HostBinding(const HostBinding&) = delete;
    HostBinding& operator=(const HostBinding&) = delete;

    std::unique_ptr<HostFunctionTable> functions;
    void* hostHandle = nullptr;
    void* boardHandle = nullptr;
    void* hapHandle = nullptr;
    platform::DynamicLibrary hostModule;
    hostfn::InitHandleSlaveAware initHandleSlaveAware = nullptr;
    hostfn::InitHandle initHandle = nullptr;
    hostfn::GetParameterIdByName getParameterIdByName = nullptr;
    hostfn::GetLastErrorNumber initLastErrorNumber = nullptr; // for init-handle failures
    std::unique_ptr<ParameterInfoTree> tree;
    // Written by any thread that makes a routed call and read by Fg_getLastErrorNumber; a
    // relaxed atomic keeps that a plain 32-bit store and load without a data race.
    std::atomic<int32_t> lastError{0};
};

// The board and image handles of the host handle created last in this process; Info answers
// them. Shared by all applet objects.
struct ProcessHandles {
    static void* board() { return board_.load(std::memory_order_relaxed); }
    static void* image() { return image_.load(std::memory_order_relaxed); }
    static void remember(void* board, void* image);

private:
    static std::atomic<void*> board_;
    static std::atomic<void*> image_;
};

} // namespace pellvane
