// Test-control interface of the virtual board.
//
// The virtual board is our stand-in for the frame-grabber board and the libraries around it:
// the host library (kestlib5), the hardware-applet runtime (pyrrt) and the hardware access
// library (tarn_hw). All three share one design model, kept in the library `vboard`, which
// holds each board's registers. This header is the model's own C interface: tests and tools use
// it to create boards, look at what the applet wrote, preset what it will read and make chosen
// calls fail, so that every failure path of the applet can be shown without hardware.
//
// Every function is safe to call from any thread. Names starting with vb_ belong to this
// interface only; the host-library, runtime and hardware-access functions keep their own names.
#ifndef PELLVANE_VBOARD_H
#define PELLVANE_VBOARD_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(VBOARD_BUILDING)
#define VB_API __declspec(dllexport)
#else
#define VB_API __declspec(dllimport)
#endif
#else
#define VB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque board: the value an applet receives as its board handle. */
typedef struct VbBoard VbBoard;

/* Which library performed a register access. */
enum { VB_SOURCE_HOST = 0, VB_SOURCE_HARDWARE = 1 };

/* Kinds of logged register writes. */
enum {
    VB_WRITE_VALUE = 0,     /* a 32-bit host write (type code 2) or a hardware-library write */
    VB_WRITE_LUT_TABLE = 1, /* a whole lookup table (host type code 4096) */
    VB_WRITE_LUT_ENTRY = 2  /* one lookup-table entry (host type code 4098); index in `index` */
};

typedef struct VbWrite {
    const VbBoard* board;
    int32_t source;      /* VB_SOURCE_* */
    int32_t kind;        /* VB_WRITE_* */
    uint32_t registerId; /* the runtime's register id */
    const char* name;    /* the register's name, owned by the model */
    uint64_t value;      /* the value as written (before masking to the register width) */
    uint32_t index;      /* lookup-table entry index for VB_WRITE_LUT_ENTRY */
    int32_t result;      /* what the write returned (0, or an injected error) */
} VbWrite;

/* Boards. vb_board_open returns the board of that index, creating it with every register 0
   (read-only registers at their reset value, e.g. the design version); the same index gives the
   same board until vb_reset. */
VB_API VbBoard* vb_board_open(uint32_t index);

/* Forgets every board, log entry, preset, injected failure and switch. Handles created by the
   host library or the runtime before the reset must not be used afterwards. */
VB_API void vb_reset(void);

/* The design: runtime register id of a register name (0 when the design has no such register),
   and its width in bits (0 when unknown). */
VB_API uint32_t vb_register_id(const char* name);
VB_API uint32_t vb_register_width(const char* name);

/* Current register value as the hardware holds it (masked to the register width).
   Returns 0, or -1 for an unknown register or a null argument. */
VB_API int32_t vb_register_value(const VbBoard* board, const char* name, uint64_t* value);

/* Presets the value that reads of a register return from now on (status registers and the
   like); writes no longer change what is read until vb_register_clear_preset. */
VB_API int32_t vb_register_preset(VbBoard* board, const char* name, uint64_t value);
VB_API int32_t vb_register_clear_preset(VbBoard* board, const char* name);

/* The lookup table held by the board: copies 4096 entries. Returns 0, or -1. */
VB_API int32_t vb_lut_read(const VbBoard* board, uint32_t* entries, size_t count);

/* Ordered log of register writes (all boards, all sources), oldest first. */
VB_API size_t vb_log_count(void);
VB_API int32_t vb_log_entry(size_t position, VbWrite* out); /* 0, or -1 when out of range */
VB_API void vb_log_clear(void);

/* Failure injection. The nth (1-based, counted from this call) write or read of the named
   register, through any library, fails with `code` and changes nothing. One pending failure per
   register and direction; a new call replaces it. Returns 0, or -1 for an unknown name. */
VB_API int32_t vb_fail_write(const char* name, uint32_t nth, int32_t code);
VB_API int32_t vb_fail_read(const char* name, uint32_t nth, int32_t code);

/* The next init-handle call of the host library returns null; the host's last error for a null
   handle is then `hostError`. */
VB_API void vb_fail_init_handle(int32_t hostError);

/* While on, the runtime's image loads (from memory and from file) return null. */
VB_API void vb_fail_image_load(int32_t on);

/* Number of images the runtime currently holds loaded, and host handles currently open:
   lets tests prove that tear-down released everything. */
VB_API int32_t vb_loaded_images(void);
VB_API int32_t vb_open_host_handles(void);

/* Which init-handle function of the host library was called last since vb_reset: 0 none,
   1 Fg_InitHandleSlaveAware, 2 Fg_InitHandle. The slave flag passed to Fg_InitHandleSlaveAware
   (0 for Fg_InitHandle and for none) is stored in *slaveFlag when it is not null. */
VB_API int32_t vb_last_init_call(int32_t* slaveFlag);

/* ---- The behavioural model (docs/virtual-board.md describes what the board does) ----

   The model's clock. By default it is the process's steady clock, and frames arrive in real
   time. A manual clock (vb_clock_manual(1)) moves only through vb_clock_advance and through
   waits for pictures, which jump straight to the next event: runs are exact and instant.
   vb_reset returns to the real clock. vb_clock_advance answers -1 unless the clock is manual. */
VB_API void vb_clock_manual(int32_t on);
VB_API int32_t vb_clock_advance(uint64_t nanoseconds);
VB_API uint64_t vb_clock_now(void); /* nanoseconds on the model's clock */

/* The virtual camera of a board: its frame rate while free-running (0.001 … 1000000 Hz,
   default 50) and the time one frame takes (1 … 1e9 µs, default 1000), during which a further
   trigger is missed. Returns 0, or -1 for an unknown board or a value out of range. */
VB_API int32_t vb_camera_configure(VbBoard* board, double freeRunHz, double frameTimeUs);

/* How often a design event occurred on a board since vb_reset: the frame events
   (..._FVALEvents_Cam0_FrameStart, ..._FrameEnd), Device1_Process0_Overflow_Overflow,
   Device1_Process0_Dma_FrameLost, the monitoring events ..._Cam0MissingFrame, ..._Cam0Override
   and ..._Cam0OutputEvent, and the input events ..._InputEvents_Pin0 (input 0 rising) and
   ..._InputEvents_NotPin0 (falling) to ..._Pin7 and ..._NotPin7.
   -1 for an unknown board or an event the model does not count. */
VB_API int64_t vb_event_count(VbBoard* board, const char* event);

/* The picture the output stage makes of camera frame `frame` with the board's current
   registers: vb_frame_bytes gives its size, vb_frame_render writes at most `size` bytes of it
   and answers how many it wrote (0 for an unknown board or a null buffer). */
VB_API size_t vb_frame_bytes(VbBoard* board);
VB_API size_t vb_frame_render(VbBoard* board, uint64_t frame, void* buffer, size_t size);

/* ---- Signals: the trigger inputs, the outputs and the DMA's bandwidth ----

   Each board has VB_INPUTS trigger inputs. A signal generator drives each of them on the model's
   clock: a level set by hand, or a pulse train with optional bursts, jitter and contact bounce.
   The design's input stage sees these levels exactly as a board sees its input pins (debounce,
   selection, polarity, downscale, statistics, input events); docs/virtual-board.md has the rules.
   Every input starts low and idle. */
enum { VB_INPUTS = 8 };
enum {
    VB_SIGNAL_LEVEL = 0, /* the input holds `level` */
    VB_SIGNAL_PULSES = 1 /* pulses away from `level` and back */
};

typedef struct VbSignal {
    int32_t mode;         /* VB_SIGNAL_* */
    int32_t level;        /* 0 or 1: the level held, or the level between pulses */
    double frequencyHz;   /* pulses per second (within a burst): > 0 … 10000000 */
    double widthUs;       /* how long each pulse lasts */
    uint64_t count;       /* pulses in all; 0: endless */
    double delayUs;       /* the first pulse starts this long after the signal is set */
    double jitterUs;      /* each pulse starts up to this much later than due, at random */
    double bounceUs;      /* after each edge the contact bounces for this long (0: clean) */
    uint32_t glitches;    /* glitches per edge while it bounces: 1 … 64 */
    uint32_t burstPulses; /* pulses per burst; 0 or 1: an even train */
    double burstHz;       /* bursts per second, when burstPulses > 1 */
    uint64_t seed;        /* jitter and bounce are drawn from this seed: a seed repeats a run */
} VbSignal;

/* The settings a new signal starts from: held low; for pulses 50 Hz, 100 µs wide, endless,
   no delay, jitter, bounce or bursts; 3 glitches per bouncing edge; seed 1. */
VB_API void vb_signal_default(VbSignal* signal);
/* The defaults, made a train of `count` pulses (0: endless) at `frequencyHz`, `widthUs` each. */
VB_API void vb_signal_pulses(VbSignal* signal, double frequencyHz, double widthUs, uint64_t count);

/* Why a signal cannot be generated (a sentence naming the first setting at fault), or null when
   it can: frequency, width, delay, jitter and bounce must be finite and not negative, the width
   must exceed the bounce, and a pulse with its bounce and jitter must fit its period (a burst
   its burst period). */
VB_API const char* vb_signal_error(const VbSignal* signal);

/* Drives input `input` (0 … VB_INPUTS − 1) of a board with `signal` from the model's present
   on: the previous signal stops at once (a level different from the input's present one is an
   edge now), the new one's first pulse comes `delayUs` later. Returns 0, or -1 for an unknown
   board or input or a signal that vb_signal_error refuses (the input then keeps its signal). */
VB_API int32_t vb_signal_set(VbBoard* board, uint32_t input, const VbSignal* signal);
/* The signal an input was last set to (vb_signal_default's level 0 until then). 0 or -1. */
VB_API int32_t vb_signal_get(VbBoard* board, uint32_t input, VbSignal* out);

/* What the input stage saw on an input so far: its level after debouncing and the edges that
   passed the debounce (each input's rising and falling edges are also the design's input
   events). */
typedef struct VbInputState {
    int32_t level;   /* debounced level now, 0 or 1 */
    uint64_t rising; /* edges that passed the debounce since vb_reset */
    uint64_t falling;
} VbInputState;
VB_API int32_t vb_input_state(VbBoard* board, uint32_t input, VbInputState* out); /* 0 or -1 */

/* The board's outputs: the four camera-control lines CC1 … CC4 (VB_LINE_CC, index 0 … 3, index 0
   is the camera's CC1) and the eight digital trigger outputs (VB_LINE_OUTPUT, 0 … 7). A line
   carries what its select and polarity registers route to it: a pulse-form generator, the
   bypassed input or a constant level. `pulses` counts the pulses of its source while routed to
   it (counted when a generator pulse enters the pulse-form generator, so a delayed pulse is
   counted before it begins); `level` is the line's level now, its polarity applied. */
enum { VB_LINE_CC = 0, VB_LINE_OUTPUT = 1 };
typedef struct VbLineState {
    int32_t level;   /* 0 or 1 */
    int32_t idle;    /* the level between pulses: 1 on an inverted line */
    uint64_t pulses; /* since vb_reset */
} VbLineState;
typedef struct VbLinePulse {
    uint64_t start; /* model time (ns) the pulse began: the line left its idle level */
    uint64_t end;   /* when it ended; UINT64_MAX while it lasts */
} VbLinePulse;
VB_API int32_t vb_line_state(VbBoard* board, int32_t kind, uint32_t index, VbLineState* out);
/* The line's level history: its last pulses that began by now, oldest first, at most `max`
   (the board keeps the last 64 of each line). Answers how many it wrote; 0 for an unknown
   board or line or a null buffer. */
VB_API size_t vb_line_history(VbBoard* board, int32_t kind, uint32_t index, VbLinePulse* out,
                              size_t max);

/* Limits of a board's data path, both off (0) by default. With a camera line rate, a frame
   takes at least (y offset + height) lines at that rate. With a DMA bandwidth, pictures leave
   the board's buffer (two banks of 128 MiB, taken in turn) at that rate: pictures that come
   faster fill the buffer; one that no longer fits is lost, which raises the overflow status,
   the overflow event, the DMA's frame-lost event and the host's count of lost pictures.
   Returns 0, or -1 for an unknown board or a value that is negative or not finite. */
VB_API int32_t vb_dma_bandwidth(VbBoard* board, double bytesPerSecond);
VB_API int32_t vb_camera_line_rate(VbBoard* board, double linesPerSecond);

/* Error codes of the virtual board's libraries (injected failures pass through unchanged). */
enum {
    VB_HW_ERR_INVALID = -2060,   /* tarn_hw: null or unknown board, unknown register, null buffer */
    VB_HW_ERR_READ_ONLY = -2061, /* tarn_hw: write to a read-only register */

    VB_HOST_ERR_NO_IMAGE = -100,           /* the handle's image was released */
    VB_HOST_ERR_INVALID_HANDLE = -2001,    /* null, unknown or already freed host handle */
    VB_HOST_ERR_INIT_ARGUMENT = -2002,     /* init-handle with a null or unknown board or image */
    VB_HOST_ERR_INVALID_PARAMETER = -2070, /* unknown id, DMA index, type code, null pointer */
    VB_HOST_ERR_NOT_WRITABLE = -2072,      /* write to a read-only parameter or register */
    VB_HOST_ERR_FILE = -2076,              /* configuration file cannot be read or written */
    VB_HOST_ERR_BUSY = -2090,              /* acquisition already running on that DMA */
    VB_HOST_ERR_TIMEOUT = -2120,           /* no image with that number arrived in time */
    VB_HOST_ERR_NOT_SUPPORTED = -2130,     /* shading; parameter information of other ports */
    VB_HOST_ERR_VALUE = -6000              /* value outside its range */
};

/* ---- The runtime's event list ----

   vb_runtime_events_replace makes the runtime hand out `count` events (names copied, `published`
   1 or 0 per event; a null `published` publishes all) instead of each design's own, for every
   image it holds now or loads later, as a runtime whose list changed while boards are open.
   Count 0 clears the list. The list it replaces is taken out of service: with `release` 0 its
   names are blanked in place and its memory kept until vb_runtime_events_restore; with
   `release` 1 it is freed at once, so that a name read from it earlier points at freed memory.
   Answers 0, or -1 for more than 64 events or a null name. vb_runtime_events_restore returns
   every image to its design's own list and frees what was replaced (vb_reset does not). */
VB_API int32_t vb_runtime_events_replace(const char* const* names, const int32_t* published,
                                         size_t count, int32_t release);
VB_API void vb_runtime_events_restore(void);

#ifdef __cplusplus
}
#endif

#endif
