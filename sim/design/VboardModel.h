// The design model's interface to the three libraries of the virtual board.
//
// The runtime (pyrrt), the hardware access library (tarn_hw) and the host library (kestlib5)
// keep no board state of their own: every register value, the lookup table, the write log and
// the injected failures live in the model (libvboard), so that whichever library touches a
// register, tests see one consistent board. Only sim/ includes this header; users of the
// virtual board see vboard/vboard.h.
#ifndef PELLVANE_SIM_VBOARD_MODEL_H
#define PELLVANE_SIM_VBOARD_MODEL_H

#include "DesignFormat.h"

#include <vboard/vboard.h>

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#if defined(VBOARD_BUILDING)
#define VBM_API __declspec(dllexport)
#else
#define VBM_API __declspec(dllimport)
#endif
#else
#define VBM_API __attribute__((visibility("default")))
#endif

// Outcome of a register access, which each library turns into its own error code.
enum VbmStatus : std::int32_t {
    VBM_OK = 0,
    VBM_BAD_BOARD = 1,        // null or unknown board
    VBM_UNKNOWN_REGISTER = 2, // no register with that id in the design
    VBM_READ_ONLY = 3,        // write to a register the design drives itself
    VBM_BAD_VALUE = 4,        // null buffer, lookup-table count, index or entry out of range
    VBM_NOT_TABLE = 5,        // table access to a register that holds no lookup table
    VBM_INJECTED = 6,         // an injected failure; its code is in *injected
    VBM_DMA_TIMEOUT = 7,      // a wait ended before the picture arrived
    VBM_DMA_ENDED = 8         // the acquisition is over and the picture will never arrive
};

// The state of a board's DMA channel as the host sees it.
struct VbmDmaStatus {
    std::int32_t active;          // 1 while pictures are still to come
    std::int64_t lastPicture;     // highest picture number delivered (1-based), 0 before any
    std::int64_t lost;            // pictures the board could not hand over
    std::uint64_t transferLength; // bytes of the last delivered picture
};

extern "C" {

// Hardware-applet images. The runtime parses an image and hands the design over; the model
// owns it until the image is released. The returned pointer is the runtime's image handle.
VBM_API std::int32_t vbm_image_load_blocked(void);
VBM_API void* vbm_image_attach(vboard::Design* design);
VBM_API std::int32_t vbm_image_detach(void* image);                // 0, or -1 for an unknown handle
VBM_API const vboard::Design* vbm_image_design(const void* image); // null when not loaded

// Boards: 1 when `board` came from vb_board_open, else 0.
VBM_API std::int32_t vbm_board_valid(const VbBoard* board);

// Register access by runtime register id. Results are VbmStatus values; for VBM_INJECTED the
// injected code is stored in *injected. Successful and injected-failed writes are logged.
VBM_API std::int32_t vbm_register_write(VbBoard* board, std::uint32_t id, std::uint64_t value,
                                        std::int32_t source, std::int32_t* injected);
VBM_API std::int32_t vbm_register_read(VbBoard* board, std::uint32_t id, std::uint64_t* value,
                                       std::int32_t source, std::int32_t* injected);
VBM_API std::int32_t vbm_lut_write_table(VbBoard* board, std::uint32_t id,
                                         const std::uint32_t* entries, std::size_t count,
                                         std::int32_t source, std::int32_t* injected);
VBM_API std::int32_t vbm_lut_write_entry(VbBoard* board, std::uint32_t id, std::uint32_t index,
                                         std::uint32_t value, std::int32_t source,
                                         std::int32_t* injected);

// Host handles, so that vb_open_host_handles can count them and the host can refuse handles
// it never created (or already freed).
VBM_API void vbm_host_handle_opened(const void* handle);
VBM_API std::int32_t vbm_host_handle_closed(const void* handle); // 0, or -1 when unknown
VBM_API std::int32_t vbm_host_handle_valid(const void* handle);

// Init-handle bookkeeping: takes the pending failure set by vb_fail_init_handle (1 and the
// host error when one was pending), records the call, and keeps the host's last error for a
// null handle.
VBM_API std::int32_t vbm_take_init_failure(std::int32_t* hostError);
VBM_API void vbm_note_init_call(std::int32_t function, std::int32_t slaveFlag);
VBM_API void vbm_set_init_error(std::int32_t error);
VBM_API std::int32_t vbm_init_error(void);

// Acquisition on a board's DMA channel (only channel 0 exists). The host hands over its frame
// buffers (`count` buffers of `bufferSize` bytes, or none: pictures are then counted but not
// stored) and keeps them alive until vbm_dma_stop or the end of the acquisition; `pictures` is
// the number to deliver, -1 for "until stopped". Results are VbmStatus values.
VBM_API std::int32_t vbm_dma_start(VbBoard* board, std::uint32_t dma, std::int64_t pictures,
                                   void* const* buffers, std::size_t count, std::size_t bufferSize);
VBM_API std::int32_t vbm_dma_stop(VbBoard* board, std::uint32_t dma);
VBM_API std::int32_t vbm_dma_status(VbBoard* board, std::uint32_t dma, VbmDmaStatus* out);
// Waits until picture `picture` was delivered (VBM_OK), the timeout passed (VBM_DMA_TIMEOUT)
// or the acquisition ended without it (VBM_DMA_ENDED); *out holds the state at the end.
VBM_API std::int32_t vbm_dma_wait(VbBoard* board, std::uint32_t dma, std::int64_t picture,
                                  std::int64_t timeoutNs, VbmDmaStatus* out);
}

#endif
