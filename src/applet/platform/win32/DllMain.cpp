#include <windows.h>

// The applet keeps no per-thread state, so the loader need not call in for every thread the host
// starts or ends. Nothing is created here: all set-up happens in Std_entry, where errors can be
// reported.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
    return TRUE;
}
