#include "platform/Locks.h"

#include <pthread.h>

#include <new>
#include <system_error>

namespace tarn::templates::platform {
namespace {

// A Windows critical section may be entered again by its holder. The POSIX stand-in must behave
// the same, or a second enter() by the holder would deadlock instead of being reported.
void initRecursive(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attr;
    int rc = pthread_mutexattr_init(&attr);
    if (rc == 0) {
        rc = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
        if (rc == 0) rc = pthread_mutex_init(mutex, &attr);
        pthread_mutexattr_destroy(&attr);
    }
    if (rc != 0) throw std::system_error(rc, std::generic_category(), "pthread_mutex_init");
}

pthread_mutex_t* native(void* p) {
    return static_cast<pthread_mutex_t*>(p);
}

} // namespace

CriticalSection::CriticalSection() {
    static_assert(sizeof(pthread_mutex_t) <= kNativeSize, "native lock storage too small");
    static_assert(alignof(pthread_mutex_t) <= 8, "native lock storage misaligned");
    auto* mutex = new (native_) pthread_mutex_t;
    initRecursive(mutex);
    inUse_ = mutex;
}

CriticalSection::~CriticalSection() {
    // Destroying a locked pthread mutex is undefined. A glibc mutex owns nothing outside its
    // storage, which goes away with this object, so a taken one is simply not destroyed; the base
    // class then runs the taken-lock check.
    if (!borrowed_ && !isLocked()) pthread_mutex_destroy(native(inUse_));
}

void CriticalSection::lockImpl() {
    pthread_mutex_lock(native(inUse_));
}

bool CriticalSection::tryLockImpl() {
    return pthread_mutex_trylock(native(inUse_)) == 0;
}

void CriticalSection::unlockImpl() {
    pthread_mutex_unlock(native(inUse_));
}

} // namespace tarn::templates::platform
