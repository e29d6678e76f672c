#include "platform/Locks.h"
#include "platform/PreciseClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using tarn::templates::patterns::GenericLock;
using tarn::templates::patterns::GenericLockGuard;
using tarn::templates::platform::CriticalSection;
using tarn::templates::platform::CriticalSectionGuard;
using tarn::templates::platform::RecursiveMutex;
using tarn::templates::platform::RecursiveMutexGuard;

const std::string kAlreadyLocked = "GenericLock object got lock but is already marked as locked";
const std::string kNotHeld = "GenericLock::leave() called with lock not held";
const std::string kDestroyedHeld = "GenericLock object destroyed with lock still held";

// The message of the std::logic_error that `action` raises; empty when it raises none.
template <typename Action>
std::string logicErrorOf(Action&& action) {
    try {
        action();
    } catch (const std::logic_error& error) {
        return error.what();
    }
    return {};
}

// Whether another thread can take the platform lock right now (giving it straight back). A
// recursive platform lock always admits its holder, so only a second thread can tell.
bool freeForOtherThread(GenericLock& lock) {
    bool taken = false;
    std::thread other([&] {
        taken = lock.tryLockImpl();
        if (taken) lock.unlockImpl();
    });
    other.join();
    return taken;
}

TEST(CriticalSection, EnterAndLeaveReportMisuseWithFixedMessages) {
    CriticalSection lock;
    EXPECT_FALSE(lock.isLocked());

    lock.enter();
    EXPECT_TRUE(lock.isLocked());
    EXPECT_FALSE(freeForOtherThread(lock));
    lock.leave();
    EXPECT_FALSE(lock.isLocked());
    EXPECT_TRUE(freeForOtherThread(lock));

    EXPECT_EQ(logicErrorOf([&] { lock.leave(); }), kNotHeld);
    // The refused leave released nothing it did not have: the lock still works normally.
    EXPECT_TRUE(freeForOtherThread(lock));
    lock.enter();
    EXPECT_TRUE(lock.isLocked());
    lock.leave();
}

TEST(CriticalSection, SecondEnterOnSameThreadIsRefusedAndLeavesOneHold) {
    CriticalSection lock;
    lock.enter();
    EXPECT_EQ(logicErrorOf([&] { lock.enter(); }), kAlreadyLocked);
    EXPECT_TRUE(lock.isLocked());
    EXPECT_FALSE(freeForOtherThread(lock));

    // Exactly one hold is left: a single leave frees the platform lock for everybody.
    lock.leave();
    EXPECT_FALSE(lock.isLocked());
    EXPECT_TRUE(freeForOtherThread(lock));
}

TEST(CriticalSection, SecondThreadWaitsUntilTheLockIsLeft) {
    CriticalSection lock;
    std::atomic<bool> started{false};
    std::atomic<bool> acquired{false};

    lock.enter();
    std::thread waiter([&] {
        started = true;
        lock.enter();
        acquired = true;
        lock.leave();
    });
    while (!started)
        std::this_thread::yield();
    // Give the waiter every chance to get through a broken lock before looking.
    pellvane::platform::sleepMilliseconds(20);
    EXPECT_FALSE(acquired);
    lock.leave();
    waiter.join();
    EXPECT_TRUE(acquired);
    EXPECT_FALSE(lock.isLocked());
}

TEST(CriticalSection, DestroyingATakenLockIsReportedWithoutTerminating) {
    auto lock = std::make_unique<CriticalSection>();
    EXPECT_EQ(logicErrorOf([&] { lock->checkReleased(); }), "");
    lock->enter();
    EXPECT_EQ(logicErrorOf([&] { lock->checkReleased(); }), kDestroyedHeld);
    // The destructor must swallow the same complaint: reaching the next line is the check.
    lock.reset();
    EXPECT_EQ(lock, nullptr);
}

TEST(CriticalSectionGuard, FreesTheLockWhenAnExceptionPasses) {
    CriticalSection lock;
    const auto guarded = [&] {
        CriticalSectionGuard guard(&lock);
        EXPECT_TRUE(lock.isLocked());
        throw std::runtime_error("setter failed");
    };
    EXPECT_THROW(guarded(), std::runtime_error);
    EXPECT_FALSE(lock.isLocked());
    EXPECT_TRUE(freeForOtherThread(lock));
}

// Records, when destroyed, that it was and whether it was still taken then.
class WatchedLock : public CriticalSection {
public:
    WatchedLock(int& destroyed, bool& takenAtDestruction)
        : destroyed_(destroyed), takenAtDestruction_(takenAtDestruction) {}
    ~WatchedLock() override {
        ++destroyed_;
        takenAtDestruction_ = isLocked();
    }

private:
    int& destroyed_;
    bool& takenAtDestruction_;
};

TEST(GenericLockGuard, OwningGuardLeavesThenDestroysItsLock) {
    int destroyed = 0;
    bool takenAtDestruction = true;
    {
        GenericLockGuard guard(new WatchedLock(destroyed, takenAtDestruction), true);
        EXPECT_TRUE(guard.held());
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(takenAtDestruction);

    // Without ownership the lock outlives the guard, free again.
    {
        WatchedLock kept(destroyed, takenAtDestruction);
        { GenericLockGuard guard(&kept); }
        EXPECT_EQ(destroyed, 1);
        EXPECT_FALSE(kept.isLocked());
    }
    EXPECT_EQ(destroyed, 2);

    GenericLockGuard none(nullptr, true);
    EXPECT_FALSE(none.held());
}

TEST(RecursiveMutex, NestedGuardsCountHoldsAndReturnToZero) {
    RecursiveMutex mutex;
    EXPECT_EQ(mutex.count(), 0u);
    {
        RecursiveMutexGuard outer(&mutex);
        EXPECT_EQ(mutex.count(), 1u);
        {
            RecursiveMutexGuard inner(&mutex);
            EXPECT_EQ(mutex.count(), 2u);
        }
        EXPECT_EQ(mutex.count(), 1u);
    }
    EXPECT_EQ(mutex.count(), 0u);
}

TEST(RecursiveMutex, ExcludesOtherThreadsUntilEveryHoldIsReleased) {
    RecursiveMutex mutex;
    std::atomic<bool> started{false};
    std::atomic<bool> acquired{false};

    mutex.lock();
    mutex.lock();
    std::thread waiter([&] {
        started = true;
        RecursiveMutexGuard guard(&mutex);
        acquired = true;
    });
    while (!started)
        std::this_thread::yield();
    mutex.unlock();
    // One hold is still open; give the waiter every chance to get through a broken mutex.
    pellvane::platform::sleepMilliseconds(20);
    EXPECT_FALSE(acquired);
    mutex.unlock();
    waiter.join();
    EXPECT_TRUE(acquired);
    EXPECT_EQ(mutex.count(), 0u);
}

} // namespace
