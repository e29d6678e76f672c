#include "platform/Locks.h"

#include <windows.h>

#include <system_error>

namespace tarn::templates::platform {

RecursiveMutex::RecursiveMutex() {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    if (mutex == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "CreateMutexA");
    }
    handle_ = mutex;
}

RecursiveMutex::~RecursiveMutex() {
    CloseHandle(static_cast<HANDLE>(handle_));
}

void RecursiveMutex::lock() {
    const DWORD rc = WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE);
    // An abandoned mutex (its holder ended without releasing it) is still owned by us now.
    if (rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED) {
        count_.fetch_add(1, std::memory_order_relaxed);
    }
}

void RecursiveMutex::unlock() {
    // The count moves while the mutex is still held, so that no other thread's lock() can see it
    // half updated; ReleaseMutex refuses a thread that does not own the mutex, and then the count
    // is put back.
    count_.fetch_sub(1, std::memory_order_relaxed);
    if (!ReleaseMutex(static_cast<HANDLE>(handle_))) {
        count_.fetch_add(1, std::memory_order_relaxed);
    }
}

} // namespace tarn::templates::platform
