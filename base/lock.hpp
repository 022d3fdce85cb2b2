#pragma once
// A lock for the library's short critical sections, used with std::lock_guard:
//   static tb::Lock lock;  std::lock_guard guard(lock);
// On Windows it is a slim reader/writer lock taken exclusively, so the library needs no threads
// runtime beneath the operating system's; natively it is a std::mutex. Not recursive. A static
// Lock is ready before any constructor runs (constant initialisation), so it needs no guard.
#ifndef _WIN32
#include <mutex>
#endif

namespace tb {

class Lock {
public:
    constexpr Lock() noexcept = default;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

#ifdef _WIN32
    void lock() noexcept;
    void unlock() noexcept;

private:
    void* state_ = nullptr;  // the SRWLOCK itself: one pointer, zero while free
#else
    void lock() { mutex_.lock(); }
    void unlock() noexcept { mutex_.unlock(); }

private:
    std::mutex mutex_;
#endif
};

}  // namespace tb
