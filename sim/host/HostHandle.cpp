#include "HostHandle.h"

#include "BoardRecord.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

namespace kest {

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

// The host's own parameters. Read-only ones without a stored value are answered live by
// ownValue (acquisition state and the like).
constexpr OwnParameter kOwn[] = {
    {FG_TIMEOUT, "FG_TIMEOUT", Kind::Int32, true, 1, kInt32Max, 1000000}, // seconds
    {FG_APC_STOP_TIMEOUT, "FG_APC_STOP_TIMEOUT", Kind::Int32, true, 0, 3600, 1},
    {FG_CAMSTATUS_EXTENDED, "FG_CAMSTATUS_EXTENDED", Kind::Int32, false, 0, kInt32Max, 0},
    {FG_NR_OF_DMAS, "FG_NR_OF_DMAS", Kind::Int32, false, 1, 1, 1},
    {FG_TURBO_DMA_MODE, "FG_TURBO_DMA_MODE", Kind::Int32, true, 0, 1, 0},
    {FG_NR_OF_CAMS, "FG_NR_OF_CAMS", Kind::Int32, false, 1, 1, 1},
    {FG_NR_OF_PROCESSES, "FG_NR_OF_PROCESSES", Kind::Int32, false, 2, 2, 2},
    {FG_DMA_PORT, "FG_DMA_PORT", Kind::Int32, false, 0, 0, 0},
    {FG_CAM_PORT, "FG_CAM_PORT", Kind::Int32, false, 0, 0, 0},
    {FG_TRANSFER_LEN, "FG_TRANSFER_LEN", Kind::UInt64, false, 0, kInt64Max, 0},
    {FG_DMASTATUS, "FG_DMASTATUS", Kind::Int32, false, 0, 1, 0},
    {FG_BOARD_NAME, "FG_BOARD_NAME", Kind::String, false, 0, 0, 0},
    {FG_CAMERA_CLOCK, "FG_CAMERA_CLOCK", Kind::Double, false, 0, 0, 0},
    {FG_TIMESTAMP_OFFSET, "FG_TIMESTAMP_OFFSET", Kind::Int64, true, kInt64Min, kInt64Max, 0},
    {FG_OUTPUT_LEVELS, "FG_OUTPUT_LEVELS", Kind::Field, true, 0, 1, 0},
};

constexpr const char* kBoardName = "Pellvane virtual board";
constexpr double kCameraClockMHz = 85.0;

// FG_CAMSTATUS_EXTENDED bits: the simulated camera always delivers a pixel clock.
constexpr std::int64_t kCamStatusPixelClock = 1;
constexpr std::int64_t kCamStatusAcquiring = 2;

std::int32_t registerError(std::int32_t status, std::int32_t injected) {
    switch (status) {
    case VBM_OK:
        return 0;
    case VBM_INJECTED:
        return injected;
    case VBM_READ_ONLY:
        return VB_HOST_ERR_NOT_WRITABLE;
    default:
        return VB_HOST_ERR_INVALID_PARAMETER;
    }
}

bool isScalar(Kind k) {
    return k == Kind::Int32 || k == Kind::Int64 || k == Kind::UInt64;
}

// Which type codes a parameter kind accepts besides its natural one (code 0).
bool typeFits(Kind kind, std::int32_t type) {
    switch (kind) {
    case Kind::Int32:
        return type == 0 || type == kTypeInt32 || type == kTypeUInt32;
    case Kind::Int64:
    case Kind::UInt64:
        return type == 0 || type == kTypeInt64 || type == kTypeUInt64;
    case Kind::Double:
        return type == 0 || type == kTypeDouble;
    case Kind::String:
        return type == 0 || type == kTypeString;
    case Kind::Field:
        return type == kTypeFieldTable || type == kTypeFieldEntry;
    }
    return false;
}

} // namespace

const OwnParameter* findOwn(std::int32_t id) {
    for (const auto& p : kOwn) {
        if (p.id == id) return &p;
    }
    return nullptr;
}

const OwnParameter* findOwn(std::string_view name) {
    for (const auto& p : kOwn) {
        if (name == p.name) return &p;
    }
    return nullptr;
}

HostHandle::HostHandle(VbBoard* board, void* hap) : board_(board), hap_(hap) {
    for (const auto& p : kOwn) {
        if (p.writable && isScalar(p.kind)) values_[p.id] = p.initial;
    }

    ParameterInfoNode* timing = tree_.category(nullptr, "Timing");
    ParameterInfoNode* n =
        tree_.parameter(timing, PI_KIND_INT32, "Timeout", "FG_TIMEOUT", FG_TIMEOUT, 7, 1, "s");
    n->a.i32 = {1, static_cast<std::int32_t>(kInt32Max)};
    n->b.i32 = {1, 0};
    n = tree_.parameter(timing, PI_KIND_SINT32, "Stop Timeout", "FG_APC_STOP_TIMEOUT",
                        FG_APC_STOP_TIMEOUT, 7, 2, "s");
    n->a.i32 = {0, 3600};
    n->b.i32 = {1, 0};
    ParameterInfoNode* clock = tree_.category(timing, "Clock");
    n = tree_.parameter(clock, PI_KIND_DOUBLE, "Camera Clock", "FG_CAMERA_CLOCK", FG_CAMERA_CLOCK,
                        1, 2, "MHz");
    n->a.minD = 0.0;
    n->b.maxD = 1000.0;
    n->c.incD = 0.001;
    n = tree_.parameter(clock, PI_KIND_SINT64, "Timestamp Offset", "FG_TIMESTAMP_OFFSET",
                        FG_TIMESTAMP_OFFSET, 7, 2, "ns");
    n->a.min64 = kInt64Min;
    n->b.max64 = kInt64Max;
    n->c.inc64 = 1;

    ParameterInfoNode* dma = tree_.category(nullptr, "DMA");
    n = tree_.parameter(dma, PI_KIND_ENUM, "Turbo DMA Mode", "FG_TURBO_DMA_MODE", FG_TURBO_DMA_MODE,
                        7, 1, nullptr);
    tree_.enumEntries(n, {{"Off", "FG_OFF", 0}, {"On", "FG_ON", 1}});
    n = tree_.parameter(dma, PI_KIND_INT64, "Transfer Length", "FG_TRANSFER_LEN", FG_TRANSFER_LEN,
                        1, 2, "byte");
    n->a.min64 = 0;
    n->b.max64 = kInt64Max;
    n->c.inc64 = 1;
    n = tree_.parameter(dma, PI_KIND_INT32, "DMA Status", "FG_DMASTATUS", FG_DMASTATUS, 1, 2,
                        nullptr);
    n->a.i32 = {0, 1};
    n->b.i32 = {1, 0};
    n = tree_.parameter(dma, PI_KIND_INT32, "Number of DMAs", "FG_NR_OF_DMAS", FG_NR_OF_DMAS, 1, 1,
                        nullptr);
    n->a.i32 = {1, 1};
    n->b.i32 = {1, 0};

    ParameterInfoNode* boardCat = tree_.category(nullptr, "Board");
    tree_.parameter(boardCat, PI_KIND_STRING, "Board Name", "FG_BOARD_NAME", FG_BOARD_NAME, 1, 1,
                    nullptr);
    n = tree_.parameter(boardCat, PI_KIND_INT_FIELD, "Output Levels", "FG_OUTPUT_LEVELS",
                        FG_OUTPUT_LEVELS, 7, 2, nullptr);
    n->a.i32 = {0, 1};
    n->b.i32 = {static_cast<std::int32_t>(kOutputLevels), 0};
    n->c.fieldMin = 0;
    n = tree_.parameter(boardCat, PI_KIND_INT32, "Camera Status", "FG_CAMSTATUS_EXTENDED",
                        FG_CAMSTATUS_EXTENDED, 1, 2, nullptr);
    n->a.i32 = {0, static_cast<std::int32_t>(kInt32Max)};
    n->b.i32 = {1, 0};
}

std::int32_t HostHandle::fail(std::int32_t error) {
    std::lock_guard lock(mutex_);
    return done(error);
}

std::int32_t HostHandle::lastError() {
    std::lock_guard lock(mutex_);
    return lastError_;
}

std::int32_t HostHandle::parameterId(const char* name) {
    std::lock_guard lock(mutex_);
    if (name == nullptr) return done(VB_HOST_ERR_INVALID_PARAMETER), 0;
    if (const OwnParameter* p = findOwn(std::string_view(name))) return done(0), p->id;
    const vboard::Design* design = vbm_image_design(hap_);
    std::uint32_t id = design == nullptr ? 0 : design->idOf(name);
    if (id == 0) return done(VB_HOST_ERR_INVALID_PARAMETER), 0;
    done(0);
    return kRegisterIdBase + static_cast<std::int32_t>(id);
}

std::int64_t HostHandle::ownValue(const OwnParameter& p) const {
    switch (p.id) {
    case FG_CAMSTATUS_EXTENDED:
        return kCamStatusPixelClock | (dmaStatus().active != 0 ? kCamStatusAcquiring : 0);
    case FG_DMASTATUS:
        return dmaStatus().active != 0 ? 1 : 0;
    case FG_TRANSFER_LEN:
        return static_cast<std::int64_t>(dmaStatus().transferLength);
    default: {
        auto it = values_.find(p.id);
        return it != values_.end() ? it->second : p.initial;
    }
    }
}

std::int32_t HostHandle::set(std::int32_t id, const void* value, std::uint32_t dma,
                             std::int32_t type) {
    std::lock_guard lock(mutex_);
    if (value == nullptr || dma != 0) return done(VB_HOST_ERR_INVALID_PARAMETER);
    if (id > kRegisterIdBase) return done(setRegister(id - kRegisterIdBase, value, type));
    const OwnParameter* p = findOwn(id);
    if (p == nullptr || !typeFits(p->kind, type)) return done(VB_HOST_ERR_INVALID_PARAMETER);
    return done(setOwn(*p, value, type));
}

std::int32_t HostHandle::get(std::int32_t id, void* value, std::uint32_t dma, std::int32_t type) {
    std::lock_guard lock(mutex_);
    if (value == nullptr || dma != 0) return done(VB_HOST_ERR_INVALID_PARAMETER);
    if (id > kRegisterIdBase) return done(getRegister(id - kRegisterIdBase, value, type));
    const OwnParameter* p = findOwn(id);
    if (p == nullptr || !typeFits(p->kind, type)) return done(VB_HOST_ERR_INVALID_PARAMETER);
    return done(getOwn(*p, value, type));
}

std::int32_t HostHandle::setOwn(const OwnParameter& p, const void* value, std::int32_t type) {
    if (!p.writable) return VB_HOST_ERR_NOT_WRITABLE;
    if (p.kind == Kind::Field) {
        if (type == kTypeFieldEntry) {
            FieldEntry e;
            std::memcpy(&e, value, sizeof e);
            if (e.index >= kOutputLevels) return VB_HOST_ERR_INVALID_PARAMETER;
            if (e.value > static_cast<std::uint64_t>(p.max)) return VB_HOST_ERR_VALUE;
            outputLevels_[e.index] = e.value;
            return 0;
        }
        FieldTable t;
        std::memcpy(&t, value, sizeof t);
        if (t.elementType != kElementUInt32 || t.count != kOutputLevels || t.data == nullptr)
            return VB_HOST_ERR_INVALID_PARAMETER;
        if (std::any_of(t.data, t.data + t.count,
                        [&](std::uint32_t v) { return v > static_cast<std::uint64_t>(p.max); }))
            return VB_HOST_ERR_VALUE;
        std::copy(t.data, t.data + t.count, outputLevels_.begin());
        return 0;
    }
    // Only scalar parameters are writable apart from the field.
    std::int64_t v = 0;
    if (p.kind == Kind::Int32) {
        if (type == kTypeUInt32) {
            std::uint32_t u;
            std::memcpy(&u, value, sizeof u);
            v = u;
        } else {
            std::int32_t s;
            std::memcpy(&s, value, sizeof s);
            v = s;
        }
    } else {
        std::memcpy(&v, value, sizeof v);
        if (type == kTypeUInt64 && v < 0) return VB_HOST_ERR_VALUE;
    }
    if (v < p.min || v > p.max) return VB_HOST_ERR_VALUE;
    values_[p.id] = v;
    return 0;
}

std::int32_t HostHandle::getOwn(const OwnParameter& p, void* value, std::int32_t type) {
    switch (p.kind) {
    case Kind::Int32: {
        auto v = static_cast<std::int32_t>(ownValue(p));
        std::memcpy(value, &v, sizeof v);
        return 0;
    }
    case Kind::Int64:
    case Kind::UInt64: {
        std::int64_t v = ownValue(p);
        std::memcpy(value, &v, sizeof v);
        return 0;
    }
    case Kind::Double:
        std::memcpy(value, &kCameraClockMHz, sizeof kCameraClockMHz);
        return 0;
    case Kind::String:
        static_assert(sizeof "Pellvane virtual board" <= kStringCapacity);
        std::memcpy(value, kBoardName, std::strlen(kBoardName) + 1);
        return 0;
    case Kind::Field:
        if (type == kTypeFieldEntry) {
            FieldEntry e;
            std::memcpy(&e, value, sizeof e);
            if (e.index >= kOutputLevels) return VB_HOST_ERR_INVALID_PARAMETER;
            e.value = outputLevels_[e.index];
            std::memcpy(value, &e, sizeof e);
            return 0;
        }
        return VB_HOST_ERR_INVALID_PARAMETER; // the whole field is written, never read back
    }
    return VB_HOST_ERR_INVALID_PARAMETER;
}

std::int32_t HostHandle::setRegister(std::int32_t rid, const void* value, std::int32_t type) {
    const vboard::Design* design = vbm_image_design(hap_);
    if (design == nullptr) return VB_HOST_ERR_NO_IMAGE;
    const vboard::RegisterInfo* reg = design->find(static_cast<std::uint32_t>(rid));
    if (reg == nullptr) return VB_HOST_ERR_INVALID_PARAMETER;
    auto id = static_cast<std::uint32_t>(rid);
    std::int32_t injected = 0;
    std::int32_t status = VBM_OK;
    switch (type) {
    case 0:
    case kTypeInt32:
    case kTypeUInt32: {
        std::uint32_t v;
        std::memcpy(&v, value, sizeof v);
        status = vbm_register_write(board_, id, v, VB_SOURCE_HOST, &injected);
        break;
    }
    case kTypeInt64:
    case kTypeUInt64: {
        std::uint64_t v;
        std::memcpy(&v, value, sizeof v);
        status = vbm_register_write(board_, id, v, VB_SOURCE_HOST, &injected);
        break;
    }
    case kTypeFieldTable: {
        FieldTable t;
        std::memcpy(&t, value, sizeof t);
        if (!reg->table || t.elementType != kElementUInt32 || t.count != vboard::kLutEntries ||
            t.data == nullptr)
            return VB_HOST_ERR_INVALID_PARAMETER;
        if (std::any_of(t.data, t.data + t.count,
                        [](std::uint32_t v) { return v > vboard::kLutMaxValue; }))
            return VB_HOST_ERR_VALUE;
        status = vbm_lut_write_table(board_, id, t.data, t.count, VB_SOURCE_HOST, &injected);
        break;
    }
    case kTypeFieldEntry: {
        FieldEntry e;
        std::memcpy(&e, value, sizeof e);
        if (!reg->table || e.index >= vboard::kLutEntries) return VB_HOST_ERR_INVALID_PARAMETER;
        if (e.value > vboard::kLutMaxValue) return VB_HOST_ERR_VALUE;
        status = vbm_lut_write_entry(board_, id, e.index, e.value, VB_SOURCE_HOST, &injected);
        break;
    }
    default:
        return VB_HOST_ERR_INVALID_PARAMETER;
    }
    return registerError(status, injected);
}

std::int32_t HostHandle::getRegister(std::int32_t rid, void* value, std::int32_t type) {
    const vboard::Design* design = vbm_image_design(hap_);
    if (design == nullptr) return VB_HOST_ERR_NO_IMAGE;
    const vboard::RegisterInfo* reg = design->find(static_cast<std::uint32_t>(rid));
    if (reg == nullptr) return VB_HOST_ERR_INVALID_PARAMETER;
    if (type == kTypeFieldEntry) {
        FieldEntry e;
        std::memcpy(&e, value, sizeof e);
        if (!reg->table || e.index >= vboard::kLutEntries) return VB_HOST_ERR_INVALID_PARAMETER;
        std::vector<std::uint32_t> lut(vboard::kLutEntries);
        if (vb_lut_read(board_, lut.data(), lut.size()) != 0) return VB_HOST_ERR_INVALID_PARAMETER;
        e.value = lut[e.index];
        std::memcpy(value, &e, sizeof e);
        return 0;
    }
    bool wide = type == kTypeInt64 || type == kTypeUInt64;
    if (!wide && type != 0 && type != kTypeInt32 && type != kTypeUInt32)
        return VB_HOST_ERR_INVALID_PARAMETER;
    std::uint64_t v = 0;
    std::int32_t injected = 0;
    std::int32_t status =
        vbm_register_read(board_, static_cast<std::uint32_t>(rid), &v, VB_SOURCE_HOST, &injected);
    if (status != VBM_OK) return registerError(status, injected);
    if (wide) {
        std::memcpy(value, &v, sizeof v);
    } else {
        auto low = static_cast<std::uint32_t>(v);
        std::memcpy(value, &low, sizeof low);
    }
    return 0;
}

VbmDmaStatus HostHandle::dmaStatus() const {
    VbmDmaStatus status{};
    vbm_dma_status(board_, 0, &status);
    return status;
}

std::int32_t HostHandle::acquire(std::uint32_t dma, std::int64_t count, std::int32_t flags,
                                 void* mem) {
    std::lock_guard lock(mutex_);
    // count -1 means "until stopped"; every mode runs the buffers as a ring.
    if (dma != 0 || count == 0 || count < -1 || flags < 0)
        return done(VB_HOST_ERR_INVALID_PARAMETER);
    if (mem != nullptr && !memoryKnown(mem)) return done(FG_ERR_INVALID_MEMORY);
    if (dmaStatus().active != 0) return done(VB_HOST_ERR_BUSY);
    const auto* buffers = static_cast<const dma_mem*>(mem);
    std::int32_t status = buffers == nullptr
                              ? vbm_dma_start(board_, dma, count, nullptr, 0, 0)
                              : vbm_dma_start(board_, dma, count, buffers->buffers.data(),
                                              buffers->buffers.size(), buffers->bufferSize);
    if (status != VBM_OK) return done(VB_HOST_ERR_INVALID_PARAMETER);
    memoryInUse(board_, buffers);
    return done(0);
}

std::int32_t HostHandle::stop(std::uint32_t dma) {
    std::lock_guard lock(mutex_);
    if (dma != 0) return done(VB_HOST_ERR_INVALID_PARAMETER);
    vbm_dma_stop(board_, dma);
    memoryInUse(board_, nullptr);
    return done(0);
}

void HostHandle::stopAll() {
    std::lock_guard lock(mutex_);
    vbm_dma_stop(board_, 0);
    memoryInUse(board_, nullptr);
}

std::int64_t HostHandle::lastPicture(std::uint32_t dma) {
    std::lock_guard lock(mutex_);
    if (dma != 0) return done(VB_HOST_ERR_INVALID_PARAMETER);
    done(0);
    return dmaStatus().lastPicture;
}

// Waits without the handle's lock, so that other threads can go on using the board (and send
// the software trigger that the wait is for).
std::int64_t HostHandle::lastPictureBlocking(std::int64_t picture, std::uint32_t dma,
                                             std::int32_t timeout) {
    if (dma != 0 || picture < 1 || timeout < 0) return fail(VB_HOST_ERR_INVALID_PARAMETER);
    VbmDmaStatus status{};
    constexpr std::int64_t kNanosPerSecond = 1000000000;
    std::int32_t result = vbm_dma_wait(board_, dma, picture, timeout * kNanosPerSecond, &status);
    switch (result) {
    case VBM_OK:
        fail(0);
        return status.lastPicture;
    case VBM_DMA_TIMEOUT:
        return fail(VB_HOST_ERR_TIMEOUT);
    case VBM_DMA_ENDED:
        return fail(FG_ERR_NOT_ACQUIRING);
    default:
        return fail(VB_HOST_ERR_INVALID_PARAMETER);
    }
}

std::int64_t HostHandle::status(std::int32_t query, std::uint32_t dma) {
    std::lock_guard lock(mutex_);
    if (dma != 0) return done(VB_HOST_ERR_INVALID_PARAMETER);
    const VbmDmaStatus d = dmaStatus();
    std::int64_t answer = 0;
    switch (query) {
    case kStatusGrabbedImages:
    case kStatusActImage:
    case kStatusLastImage:
        answer = d.lastPicture;
        break;
    case kStatusLostImages:
        answer = d.lost;
        break;
    case kStatusBlockLostImages:
    case kStatusImagesInProgress:
        answer = 0;
        break;
    case kStatusNextImage:
        answer = d.lastPicture + 1;
        break;
    case kStatusAcquisitionActive:
        answer = d.active != 0 ? 1 : 0;
        break;
    default:
        return done(VB_HOST_ERR_INVALID_PARAMETER);
    }
    done(0);
    return answer;
}

// The configuration file holds one "NAME=value" line per writable scalar host parameter.
std::int32_t HostHandle::saveConfig(const char* file) {
    std::lock_guard lock(mutex_);
    if (file == nullptr) return done(VB_HOST_ERR_INVALID_PARAMETER);
    std::ofstream out(file, std::ios::trunc);
    for (const auto& [id, value] : values_)
        out << findOwn(id)->name << '=' << std::to_string(value) << '\n';
    out.close();
    return done(out ? 0 : VB_HOST_ERR_FILE);
}

// Reads the whole file before applying anything, so a bad line changes no parameter.
std::int32_t HostHandle::loadConfig(const char* file) {
    std::lock_guard lock(mutex_);
    if (file == nullptr) return done(VB_HOST_ERR_INVALID_PARAMETER);
    std::ifstream in(file);
    if (!in) return done(VB_HOST_ERR_FILE);
    std::map<std::int32_t, std::int64_t> loaded;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) return done(VB_HOST_ERR_FILE);
        const OwnParameter* p = findOwn(std::string_view(line).substr(0, eq));
        if (p == nullptr || !p->writable || !isScalar(p->kind))
            return done(VB_HOST_ERR_INVALID_PARAMETER);
        std::string_view number = std::string_view(line).substr(eq + 1);
        std::int64_t v = 0;
        auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), v);
        if (ec != std::errc{} || end != number.data() + number.size())
            return done(VB_HOST_ERR_FILE);
        if (v < p->min || v > p->max) return done(VB_HOST_ERR_VALUE);
        loaded[p->id] = v;
    }
    for (const auto& [id, v] : loaded)
        values_[id] = v;
    return done(0);
}

} // namespace kest
