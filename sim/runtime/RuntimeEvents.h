// The runtime's replaceable event list (vb_runtime_events_replace in vboard/vboard.h).
//
// A real runtime may change its event list while boards are open (a reloaded image, a runtime
// update); the virtual runtime can do the same on request, so that tests can show what an
// applet does with names it read earlier. The list lives in the model library, beside the
// images, because that library exports the control interface on every platform: the runtime
// itself exports nothing by name.
#ifndef PELLVANE_SIM_RUNTIME_EVENTS_H
#define PELLVANE_SIM_RUNTIME_EVENTS_H

#include "VboardModel.h"

#include <cstddef>
#include <cstdint>

extern "C" {

// While a replacement list is installed: stores its record at `index` (null past its end) in
// *record and answers 1. Answers 0 while every image hands out its design's own events.
VBM_API std::int32_t vbm_runtime_event(std::size_t index, const vboard::EventRecord** record);
}

#endif
