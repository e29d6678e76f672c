#include "platform/Locks.h"

#include <pthread.h>

#include <memory>
#include <system_error>

namespace tarn::templates::platform {
namespace {

pthread_mutex_t* native(void* p) {
    return static_cast<pthread_mutex_t*>(p);
}

} // namespace

RecursiveMutex::RecursiveMutex() {
    auto mutex = std::make_unique<pthread_mutex_t>();
    pthread_mutexattr_t attr;
    int rc = pthread_mutexattr_init(&attr);
    if (rc == 0) {
        rc = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
        if (rc == 0) rc = pthread_mutex_init(mutex.get(), &attr);
        pthread_mutexattr_destroy(&attr);
    }
    if (rc != 0) throw std::system_error(rc, std::generic_category(), "pthread_mutex_init");
    handle_ = mutex.release();
}

RecursiveMutex::~RecursiveMutex() {
    pthread_mutex_destroy(native(handle_));
    delete native(handle_);
}

void RecursiveMutex::lock() {
    if (pthread_mutex_lock(native(handle_)) == 0) count_.fetch_add(1, std::memory_order_relaxed);
}

void RecursiveMutex::unlock() {
    // The count moves while the mutex is still held, so that no other thread's lock() can see it
    // half updated; a recursive mutex refuses (EPERM) to be released by a thread that does not
    // hold it, and then the count is put back.
    count_.fetch_sub(1, std::memory_order_relaxed);
    if (pthread_mutex_unlock(native(handle_)) != 0) {
        count_.fetch_add(1, std::memory_order_relaxed);
    }
}

} // namespace tarn::templates::platform
