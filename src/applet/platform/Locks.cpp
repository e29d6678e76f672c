#include "platform/Locks.h"

#include <stdexcept>

namespace tarn::templates::patterns {

GenericLock::~GenericLock() {
    try {
        checkReleased();
    } catch (const std::logic_error&) {
        // Deliberately quiet: see the declaration. Nothing in the applet destroys a taken lock.
    }
}

void GenericLock::enter() {
    lockImpl();
    if (locked_.load(std::memory_order_relaxed)) {
        // The platform lock nests for its holder; give back the hold just taken so that the
        // outer hold stays the only one.
        unlockImpl();
        throw std::logic_error("GenericLock object got lock but is already marked as locked");
    }
    locked_.store(true, std::memory_order_relaxed);
}

void GenericLock::leave() {
    if (!locked_.load(std::memory_order_relaxed)) {
        throw std::logic_error("GenericLock::leave() called with lock not held");
    }
    locked_.store(false, std::memory_order_relaxed);
    unlockImpl();
}

void GenericLock::checkReleased() const {
    if (locked_.load(std::memory_order_relaxed)) {
        throw std::logic_error("GenericLock object destroyed with lock still held");
    }
}

GenericLockGuard::GenericLockGuard(GenericLock* lock, bool ownsLock)
    : Guard(lock), ownsLock_(false) {
    if (lock_ != nullptr) lock_->enter();
    ownsLock_ = ownsLock;
}

GenericLockGuard::~GenericLockGuard() {
    if (held_ && lock_ != nullptr) {
        try {
            lock_->leave();
        } catch (const std::logic_error&) {
            // Someone left the lock behind the guard's back; the guard has nothing to give back.
        }
    }
    if (ownsLock_ && lock_ != nullptr) delete lock_;
}

} // namespace tarn::templates::patterns

namespace tarn::templates::platform {

RecursiveMutexGuard::RecursiveMutexGuard(RecursiveMutex* mutex) : Guard(mutex) {
    if (lock_ != nullptr) lock_->lock();
}

RecursiveMutexGuard::~RecursiveMutexGuard() {
    if (held_ && lock_ != nullptr) lock_->unlock();
}

} // namespace tarn::templates::platform
