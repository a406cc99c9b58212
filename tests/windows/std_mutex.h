// GoogleTest on Windows, built by mingw-w64 with the win32 thread model: that
// runtime leaves out std::mutex and std::condition_variable, and GoogleTest's
// Notification needs both (its own Mutex uses the Win32 calls directly).
// Included ahead of every source of the host-free test programs of a Windows
// target only; the modules never see it. Slim reader/writer locks and
// condition variables: the same calls GoogleTest's Mutex makes.
#pragma once
#ifdef __cplusplus
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <mutex>

#ifndef _GLIBCXX_HAS_GTHREADS
namespace std {
class mutex {
public:
    constexpr mutex() noexcept = default;
    mutex(const mutex &) = delete;
    mutex &operator=(const mutex &) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK *native_handle() { return &lock_; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class condition_variable {
public:
    condition_variable() = default;
    condition_variable(const condition_variable &) = delete;
    condition_variable &operator=(const condition_variable &) = delete;
    void notify_one() { WakeConditionVariable(&cv_); }
    void notify_all() { WakeAllConditionVariable(&cv_); }
    void wait(unique_lock<mutex> &held) {
        SleepConditionVariableSRW(&cv_, held.mutex()->native_handle(), INFINITE, 0);
    }
    template <class Predicate>
    void wait(unique_lock<mutex> &held, Predicate done) {
        while (!done())
            wait(held);
    }

private:
    CONDITION_VARIABLE cv_ = CONDITION_VARIABLE_INIT;
};
}  // namespace std
#endif
#endif
