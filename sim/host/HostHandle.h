// The host library's per-board handle and its own parameters.
#ifndef PELLVANE_SIM_HOST_HANDLE_H
#define PELLVANE_SIM_HOST_HANDLE_H

#include "InfoTree.h"
#include "VboardModel.h"

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace kest {

// Host type codes of the ...WithType calls.
enum TypeCode : std::int32_t {
    kTypeInt32 = 1,
    kTypeUInt32 = 2,
    kTypeInt64 = 3,
    kTypeUInt64 = 4,
    kTypeDouble = 5,
    kTypeString = 6,
    kTypeFieldTable = 4096, // { u32 elementType; u32 0; u32 count; u32 pad; const u32* data }
    kTypeFieldEntry = 4098  // { u32 value; u32 index }
};

// Element type code of a field-table record holding unsigned 32-bit values.
inline constexpr std::uint32_t kElementUInt32 = 2;

struct FieldTable {
    std::uint32_t elementType;
    std::uint32_t zero;
    std::uint32_t count;
    std::uint32_t pad;
    const std::uint32_t* data;
};
static_assert(offsetof(FieldTable, data) == 16);

struct FieldEntry {
    std::uint32_t value;
    std::uint32_t index;
};

// Design registers appear as host parameters at this base plus the runtime register id, well
// above the host's own parameter ids.
inline constexpr std::int32_t kRegisterIdBase = 0x10000;

// A string parameter is copied into the caller's buffer, which must hold this many bytes.
inline constexpr std::size_t kStringCapacity = 64;

enum class Kind { Int32, Int64, UInt64, Double, String, Field };

struct OwnParameter {
    std::int32_t id;
    const char* name;
    Kind kind;
    bool writable;
    std::int64_t min;
    std::int64_t max;
    std::int64_t initial;
};

// Host parameter ids (the host interface's numbers).
enum : std::int32_t {
    FG_TIMEOUT = 600,
    FG_APC_STOP_TIMEOUT = 601,
    FG_CAMSTATUS_EXTENDED = 2050,
    FG_NR_OF_DMAS = 3050,
    FG_TURBO_DMA_MODE = 3051,
    FG_NR_OF_CAMS = 3060,
    FG_NR_OF_PROCESSES = 3070,
    FG_DMA_PORT = 3080,
    FG_CAM_PORT = 3090,
    FG_TRANSFER_LEN = 5210,
    FG_DMASTATUS = 24092,
    FG_BOARD_NAME = 7000,
    FG_CAMERA_CLOCK = 7001,
    FG_TIMESTAMP_OFFSET = 7002,
    FG_OUTPUT_LEVELS = 7003
};

inline constexpr std::size_t kOutputLevels = 4;

const OwnParameter* findOwn(std::int32_t id);
const OwnParameter* findOwn(std::string_view name);

// Status queries of Fg_getStatusEx.
enum : std::int32_t {
    kStatusGrabbedImages = 10,
    kStatusLostImages = 20,
    kStatusBlockLostImages = 30,
    kStatusActImage = 50,
    kStatusLastImage = 60,
    kStatusNextImage = 70,
    kStatusImagesInProgress = 80,
    kStatusAcquisitionActive = 100
};

class HostHandle {
public:
    HostHandle(VbBoard* board, void* hap);

    // Every operation takes the handle's lock and records its result as the last error.
    std::int32_t parameterId(const char* name);
    std::int32_t set(std::int32_t id, const void* value, std::uint32_t dma, std::int32_t type);
    std::int32_t get(std::int32_t id, void* value, std::uint32_t dma, std::int32_t type);
    std::int32_t acquire(std::uint32_t dma, std::int64_t count, std::int32_t flags, void* mem);
    std::int32_t stop(std::uint32_t dma);
    void stopAll(); // before the handle goes: the board stops acquiring into its buffers
    std::int64_t lastPicture(std::uint32_t dma);
    std::int64_t lastPictureBlocking(std::int64_t picture, std::uint32_t dma, std::int32_t timeout);
    std::int64_t status(std::int32_t query, std::uint32_t dma);
    std::int32_t saveConfig(const char* file);
    std::int32_t loadConfig(const char* file);
    std::int32_t fail(std::int32_t error); // stores and returns an error of an export
    std::int32_t lastError();

    ParameterInfoNode* parameterInfo(std::int32_t port) {
        return port == 0 ? tree_.root() : nullptr;
    }

    // Kind used when no type code is given: the parameter's own kind; registers are 32-bit.
    static constexpr std::int32_t kNaturalType = 0;

private:
    std::int32_t setOwn(const OwnParameter& p, const void* value, std::int32_t type);
    std::int32_t getOwn(const OwnParameter& p, void* value, std::int32_t type);
    std::int32_t setRegister(std::int32_t id, const void* value, std::int32_t type);
    std::int32_t getRegister(std::int32_t id, void* value, std::int32_t type);
    std::int64_t ownValue(const OwnParameter& p) const;
    VbmDmaStatus dmaStatus() const;
    std::int32_t done(std::int32_t result) { return lastError_ = result; }

    std::mutex mutex_;
    VbBoard* board_;
    void* hap_;
    std::int32_t lastError_ = 0;
    std::map<std::int32_t, std::int64_t> values_; // own writable scalar parameters
    std::array<std::uint32_t, kOutputLevels> outputLevels_{};
    InfoTree tree_;
};

} // namespace kest

#endif
