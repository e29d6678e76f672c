// One acquisition on an opened board, from starting to stopping: frame buffers, the trigger
// system started for it when it was stopped (and stopped again afterwards), one software pulse
// per picture in software trigger mode, and waiting that a caller can cut short at any time.
// Whatever happens, the destructor stops the acquisition and frees the buffers.
#pragma once

#include "Board.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace pellvane::tools {

// One software trigger pulse; a trigger system still busy with the previous one is given up to
// two seconds. False when `stop` said so first; throws BoardError when the pulse is refused.
bool sendSoftwarePulse(const Board& board, const std::function<bool()>& stop);

class Acquisition {
public:
    struct Geometry {
        uint32_t width = 0, height = 0;
        int bits = 8;
        std::size_t bytes() const { return std::size_t{width} * height * (bits / 8); }
    };

    // The pictures the board delivers with its settings as they are now.
    static Geometry geometryOf(const Board& board);

    // Starts acquiring `count` pictures (0: until stopped) into `buffers` frame buffers. With
    // `startTrigger`, a stopped trigger system is started for the acquisition.
    Acquisition(Board& board, int64_t count, int64_t buffers, bool startTrigger);
    ~Acquisition();
    Acquisition(const Acquisition&) = delete;
    Acquisition& operator=(const Acquisition&) = delete;

    const Geometry& geometry() const { return geometry_; }
    int64_t buffers() const { return buffers_; }
    bool startedTrigger() const { return restoreState_.has_value(); }
    bool softwareTrigger() const { return software_; }
    bool externalTrigger() const { return external_; }

    // Waits until picture `n` has arrived and answers the number of the last picture delivered
    // (at least n). Nothing when `stop` said so first; throws BoardError when no picture comes
    // within `timeoutSeconds` or the acquisition ended without it. In software trigger mode the
    // pulse for picture n goes out first.
    std::optional<int64_t> waitFor(int64_t n, int timeoutSeconds,
                                   const std::function<bool()>& stop);
    // The buffer of picture n, or null when it has been overwritten (or never came).
    const void* picture(int64_t n) const;
    // True while picture n is still in its buffer: fewer than `buffers` pictures began after it.
    bool intact(int64_t n) const;
    int64_t lastDelivered() const;
    // The board's own counts (Fg_getStatusEx), -1 when the host does not answer.
    int64_t lostByBoard() const;
    // Ends the acquisition early (the destructor does it too).
    void stop();

private:
    Board& board_;
    dma_mem* mem_ = nullptr;
    int64_t buffers_ = 0;
    Geometry geometry_;
    bool acquiring_ = false;
    bool software_ = false, external_ = false;
    std::optional<int32_t> restoreState_;
};

} // namespace pellvane::tools
