#include "Acquisition.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace pellvane::tools {

namespace {

// The longest single wait: a stop request is seen within this many seconds.
constexpr int32_t kWaitSlice = 1;
// The software trigger refuses a pulse while it is busy with the previous one.
constexpr int32_t kSoftwareTriggerBusy = -60;

} // namespace

bool sendSoftwarePulse(const Board& board, const std::function<bool()>& stop) {
    const int32_t id = board.find("FG_SENDSOFTWARETRIGGER").id;
    const uint32_t one = 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        const int32_t r =
            Fg_setParameterWithType(board.handle(), id, &one, 0, FG_PARAM_TYPE_UINT32_T);
        if (r == 0) return true;
        if (r != kSoftwareTriggerBusy || std::chrono::steady_clock::now() > deadline)
            throw BoardError(r, "software trigger");
        if (stop && stop()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

Acquisition::Geometry Acquisition::geometryOf(const Board& board) {
    Geometry g;
    g.width = static_cast<uint32_t>(board.getInt("FG_WIDTH"));
    g.height = static_cast<uint32_t>(board.getInt("FG_HEIGHT"));
    const int32_t format = board.getInt("FG_FORMAT");
    if (format == board.symbolValue("FG_GRAY16"))
        g.bits = 16;
    else if (format == board.symbolValue("FG_GRAY"))
        g.bits = 8;
    else
        throw BoardError(kInvalidParameter, "acquire",
                         "the output format " + std::to_string(format) +
                             " is not one the tools know");
    return g;
}

Acquisition::Acquisition(Board& board, int64_t count, int64_t buffers, bool startTrigger)
    : board_(board), buffers_(buffers), geometry_(geometryOf(board)) {
    const int32_t mode = board.getInt("FG_AREATRIGGERMODE");
    software_ = mode == board.symbolValue("ATM_SOFTWARE");
    external_ = mode == board.symbolValue("ATM_EXTERNAL");

    mem_ = Fg_AllocMemEx(board.handle(), geometry_.bytes() * static_cast<std::size_t>(buffers),
                         buffers);
    if (mem_ == nullptr) {
        const int32_t e = Fg_getLastErrorNumber(board.handle());
        throw BoardError(e != 0 ? e : FG_ERR_NO_MEMORY,
                         "allocate " + std::to_string(buffers) + " frame buffers of " +
                             std::to_string(geometry_.bytes()) + " bytes");
    }
    try {
        board.check(
            Fg_AcquireEx(board.handle(), 0, count > 0 ? count : GRAB_INFINITE, ACQ_STANDARD, mem_),
            "start the acquisition");
        acquiring_ = true;
        const int32_t active = board.symbolValue("TS_ACTIVE");
        const int32_t state = board.getInt("FG_TRIGGERSTATE");
        if (state != active && startTrigger) {
            board.setInt("FG_TRIGGERSTATE", active);
            restoreState_ = state;
        }
    } catch (...) {
        stop();
        Fg_FreeMemEx(board.handle(), mem_);
        throw;
    }
}

Acquisition::~Acquisition() {
    stop();
    Fg_FreeMemEx(board_.handle(), mem_);
    if (restoreState_) {
        try {
            board_.setInt("FG_TRIGGERSTATE", *restoreState_);
        } catch (const BoardError&) {
            // The board keeps running its trigger system; nothing more can be done here.
        }
    }
}

void Acquisition::stop() {
    if (acquiring_) Fg_stopAcquireEx(board_.handle(), 0, mem_, 0);
    acquiring_ = false;
}

std::optional<int64_t> Acquisition::waitFor(int64_t n, int timeoutSeconds,
                                            const std::function<bool()>& stop) {
    if (software_ && !sendSoftwarePulse(board_, stop)) return std::nullopt;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(std::max(timeoutSeconds, 1));
    for (;;) {
        if (stop && stop()) return std::nullopt;
        const frameindex_t last =
            Fg_getLastPicNumberBlockingEx(board_.handle(), n, 0, kWaitSlice, mem_);
        if (last >= n) return last;
        if (stop && stop()) return std::nullopt;
        if (last == FG_ERR_NOT_ACQUIRING || std::chrono::steady_clock::now() >= deadline)
            throw BoardError(static_cast<int32_t>(last), "wait for picture " + std::to_string(n),
                             "no picture came within " + std::to_string(timeoutSeconds) + " s",
                             external_ ? "in external trigger mode pictures come with trigger "
                                         "pulses on the inputs"
                                       : "pictures come only while the trigger system runs; see "
                                         "`pvctl describe FG_TRIGGERSTATE`");
    }
}

const void* Acquisition::picture(int64_t n) const {
    return intact(n) ? Fg_getImagePtrEx(board_.handle(), n, 0, mem_) : nullptr;
}

bool Acquisition::intact(int64_t n) const {
    const int64_t last = lastDelivered();
    // The board starts filling a buffer when a picture begins, before it is delivered: the
    // pictures in progress count against the ring too.
    const frameindex_t inProgress =
        Fg_getStatusEx(board_.handle(), NUMBER_OF_IMAGES_IN_PROGRESS, 0, 0, mem_);
    const int64_t started = last + std::max<int64_t>(inProgress, 0);
    return n >= 1 && n <= last && started - n < buffers_;
}

int64_t Acquisition::lastDelivered() const {
    return Fg_getLastPicNumberEx(board_.handle(), 0, mem_);
}

int64_t Acquisition::lostByBoard() const {
    const frameindex_t lost = Fg_getStatusEx(board_.handle(), NUMBER_OF_LOST_IMAGES, 0, 0, mem_);
    return lost < 0 ? -1 : lost;
}

} // namespace pellvane::tools
