#include "base/lock.hpp"

#include <windows.h>

namespace tb {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "an SRWLOCK is one pointer");

void Lock::lock() noexcept { AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&state_)); }

void Lock::unlock() noexcept { ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&state_)); }

}  // namespace tb
