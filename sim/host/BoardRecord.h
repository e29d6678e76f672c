// The application side of the host library: board records, the applet each one drives, and
// the frame buffers the application allocates.
#ifndef PELLVANE_SIM_BOARD_RECORD_H
#define PELLVANE_SIM_BOARD_RECORD_H

#include "VboardModel.h"

#include <kestlib5/kestlib5.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace kest {

// The applet's exports, bound by name when the board is opened.
struct AppletExports {
    void* (*Std_entry)(void*, std::int32_t*, std::int32_t) = nullptr;
    std::int32_t (*Info)(std::int32_t, std::int32_t, std::int32_t, void*, const void**) = nullptr;
    std::int32_t (*Fg_setParameterWithType)(void*, std::int32_t, const void*, std::uint32_t,
                                            std::int32_t) = nullptr;
    std::int32_t (*Fg_getParameterWithType)(void*, std::int32_t, void*, std::uint32_t,
                                            std::int32_t) = nullptr;
    std::int32_t (*Fg_getNrOfParameter)(void*) = nullptr;
    const char* (*Fg_getParameterName)(void*, std::int32_t) = nullptr;
    std::int32_t (*Fg_getParameterId)(void*, std::int32_t) = nullptr;
    std::int32_t (*Fg_getParameterIdByName)(void*, const char*) = nullptr;
    std::int32_t (*Fg_saveConfig)(void*, const char*) = nullptr;
    std::int32_t (*Fg_loadConfig)(void*, const char*) = nullptr;
    std::int32_t (*Fg_getParameterInfoXML)(void*, std::int32_t, char*, std::size_t*) = nullptr;
    std::uint64_t (*Fg_getEventMask)(void*, const char*) = nullptr;
    const char* (*Fg_getEventName)(void*, std::uint64_t) = nullptr;
    std::int32_t (*Fg_getAppletId)(void*, const char*) = nullptr;
    std::int32_t (*Fg_AcquireEx)(void*, std::uint32_t, std::int64_t, std::int32_t, void*) = nullptr;
    std::int32_t (*Fg_stopAcquireEx)(void*, std::uint32_t, void*, std::int32_t) = nullptr;
    std::int64_t (*Fg_getLastPicNumberEx)(void*, std::uint32_t, void*) = nullptr;
    std::int64_t (*Fg_getLastPicNumberBlockingEx)(void*, std::int64_t, std::uint32_t, std::int32_t,
                                                  void*) = nullptr;
    std::int64_t (*Fg_getStatusEx)(void*, std::int32_t, std::int64_t, std::uint32_t,
                                   void*) = nullptr;
    std::int32_t (*Fg_getLastErrorNumber)(void*) = nullptr;
    void* (*Fg_getParameterInfo)(void*, std::int32_t) = nullptr;
    std::int32_t (*Fg_FreeGrabber)(void*) = nullptr;
};

class Board;

} // namespace kest

// The record an application holds. The applet object lives in the first word, where the applet
// looks for it; everything else is the host's.
struct Fg_Struct {
    void* applet = nullptr;
    kest::Board* host = nullptr;
};

// Frame buffers: `buffers` of `bufferSize` bytes each, owned by one board record.
struct dma_mem {
    Fg_Struct* owner = nullptr;
    std::vector<void*> buffers;
    std::size_t bufferSize = 0;
    ~dma_mem();
};

namespace kest {

class Board {
public:
    Board(void* library, const AppletExports& x, VbBoard* board)
        : library_(library), x_(x), board_(board) {}
    ~Board();

    const AppletExports& applet() const { return x_; }
    VbBoard* board() const { return board_; }
    void* library() const { return library_; }

    // Records the outcome of a call on the record and passes it on.
    template <class T>
    T note(T result) {
        std::lock_guard lock(mutex_);
        lastError_ = result < 0 ? static_cast<std::int32_t>(result) : 0;
        return result;
    }
    std::int32_t fail(std::int32_t error) { return note(error); }
    std::int32_t lastError() {
        std::lock_guard lock(mutex_);
        return lastError_;
    }

    // The type code a parameter takes when the caller gives none.
    std::int32_t naturalType(std::int32_t id) const;
    void learnTypes(const ParameterInfoNode* root);

    dma_mem* allocate(Fg_Struct* owner, std::size_t size, std::int64_t count);
    std::int32_t release(dma_mem* mem);
    bool owns(const dma_mem* mem);
    void releaseAll();

private:
    std::mutex mutex_;
    void* library_;
    AppletExports x_;
    VbBoard* board_;
    std::int32_t lastError_ = 0;
    std::map<std::int32_t, std::int32_t> types_;
    std::vector<std::unique_ptr<dma_mem>> memories_;
};

// Records opened by Fg_Init and not yet freed; null for anything else.
Board* boardOf(const Fg_Struct* fg);
Fg_Struct* openBoard(const char* applet, unsigned int index, std::int32_t* error);
std::int32_t closeBoard(Fg_Struct* fg);

// Memory handed to an acquisition: known to some record, and which board acquires into it.
bool memoryKnown(const void* mem);
void memoryInUse(VbBoard* board, const dma_mem* mem); // null mem: the board stopped
bool memoryBusy(const dma_mem* mem);

const char* errorDescription(std::int32_t error);

} // namespace kest

#endif
