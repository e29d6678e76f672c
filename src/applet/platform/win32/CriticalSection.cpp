#include "platform/Locks.h"

#include <windows.h>

#include <new>

namespace tarn::templates::platform {
namespace {

CRITICAL_SECTION* native(void* p) {
    return static_cast<CRITICAL_SECTION*>(p);
}

} // namespace

CriticalSection::CriticalSection() {
    static_assert(sizeof(CRITICAL_SECTION) <= kNativeSize, "native lock storage too small");
    static_assert(alignof(CRITICAL_SECTION) <= 8, "native lock storage misaligned");
    auto* section = new (native_) CRITICAL_SECTION;
    InitializeCriticalSection(section);
    inUse_ = section;
}

CriticalSection::~CriticalSection() {
    if (!borrowed_) DeleteCriticalSection(native(inUse_));
}

void CriticalSection::lockImpl() {
    EnterCriticalSection(native(inUse_));
}

bool CriticalSection::tryLockImpl() {
    return TryEnterCriticalSection(native(inUse_)) != FALSE;
}

void CriticalSection::unlockImpl() {
    LeaveCriticalSection(native(inUse_));
}

} // namespace tarn::templates::platform
