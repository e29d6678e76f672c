// Marks the applet's exported C functions. On Linux the linker version script limits the
// dynamic symbol table to exactly these names.
#pragma once

#if defined(_WIN32)
#define PELLVANE_EXPORT extern "C" __declspec(dllexport)
#else
#define PELLVANE_EXPORT extern "C" __attribute__((visibility("default")))
#endif
