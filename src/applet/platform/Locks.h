#pragma once

// The lock family of the applet: the parameter lock (a CriticalSection held for every set and get
// by identifier) and the inspection store's RecursiveMutex, plus their scope guards.
//
// A GenericLock checks its own use. Windows critical sections nest, but the parameter lock must
// not: a setter that re-enters set or get on the same applet object would see half-applied
// state. So enter() reports a second entry by the holder instead of silently allowing it.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tarn::templates::patterns {

class GenericLock {
public:
    GenericLock() = default;
    GenericLock(const GenericLock&) = delete;
    GenericLock& operator=(const GenericLock&) = delete;

    // A taken lock being destroyed is a programming error, but throwing from a destructor would
    // terminate the host process. The destructor therefore runs checkReleased() and swallows its
    // error; callers that want to know ask checkReleased() themselves before destruction.
    virtual ~GenericLock();

    virtual void lockImpl() = 0;
    virtual bool tryLockImpl() = 0;
    virtual void unlockImpl() = 0;

    // Takes the platform lock. Throws std::logic_error when this object is already marked as
    // taken; the platform lock is given back first, so the lock stays taken exactly once.
    void enter();
    // Throws std::logic_error when the lock is not taken; nothing is released then.
    void leave();

    bool isLocked() const { return locked_.load(std::memory_order_relaxed); }
    // Throws std::logic_error("GenericLock object destroyed with lock still held") when taken.
    void checkReleased() const;

private:
    // Written only by the holder of the platform lock; atomic so that a look from another thread
    // (isLocked, or leave() from the wrong thread) is not a data race.
    std::atomic<bool> locked_{false};
};

template <typename LockPtr>
class Guard {
public:
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    virtual ~Guard() = default;

    bool held() const { return held_; }

protected:
    explicit Guard(LockPtr lock) : lock_(lock), held_(lock != nullptr) {}

    LockPtr lock_;
    bool held_;
};

// Enters the lock for its lifetime. With ownsLock set the guard also destroys the lock object
// when it ends; ownership passes only once the guard is constructed, so a lock whose enter()
// fails is left to its previous owner. A null lock gives a guard that holds nothing.
class GenericLockGuard : public Guard<GenericLock*> {
public:
    explicit GenericLockGuard(GenericLock* lock, bool ownsLock = false);
    ~GenericLockGuard() override;

private:
    bool ownsLock_;
};

} // namespace tarn::templates::patterns

namespace tarn::templates::platform {

class CriticalSection : public patterns::GenericLock {
public:
    CriticalSection();
    ~CriticalSection() override;

    void lockImpl() override;
    bool tryLockImpl() override;
    void unlockImpl() override;

private:
    // Room for the platform object (a CRITICAL_SECTION on Windows, a recursive pthread mutex
    // elsewhere); the sources check at compile time that it fits, so this header needs no
    // operating-system header.
    static constexpr std::size_t kNativeSize = 64;

    bool borrowed_ = false;
    alignas(8) unsigned char native_[kNativeSize];
    void* inUse_;
};

// A lock the same thread may take again; count() tells how many holds are open. Used by the
// inspection store, whose reads may run inside one another.
class RecursiveMutex {
public:
    RecursiveMutex();
    RecursiveMutex(const RecursiveMutex&) = delete;
    RecursiveMutex& operator=(const RecursiveMutex&) = delete;
    virtual ~RecursiveMutex();

    void lock();
    // Releasing a mutex the calling thread does not hold changes nothing.
    void unlock();
    std::uint32_t count() const { return count_.load(std::memory_order_relaxed); }

private:
    void* handle_;
    // Changed only while the mutex is held; atomic so count() may be read from any thread.
    std::atomic<std::uint32_t> count_{0};
};

class CriticalSectionGuard : public patterns::GenericLockGuard {
public:
    explicit CriticalSectionGuard(CriticalSection* lock) : GenericLockGuard(lock, false) {}
};

class RecursiveMutexGuard : public patterns::Guard<RecursiveMutex*> {
public:
    explicit RecursiveMutexGuard(RecursiveMutex* mutex);
    ~RecursiveMutexGuard() override;
};

} // namespace tarn::templates::platform
