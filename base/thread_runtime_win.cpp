#include "base/thread_runtime_win.hpp"

#include <windows.h>

#include <cerrno>
#include <new>

namespace tb::thread_runtime {
namespace {

// A slot holds a pointer to its object once made; before that, a static initialiser (-1, -2, -3)
// or zero.
bool Made(std::intptr_t value) { return value > 0; }

// The object of a slot, made on first use: `make` initialises a new one, `unmake` undoes that when
// another thread made the slot's object first. Null when memory ran out.
template <class Object, class Make, class Unmake>
Object* MadeOnFirstUse(std::intptr_t* slot, Make make, Unmake unmake) {
    std::intptr_t value = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
    if (Made(value)) return reinterpret_cast<Object*>(value);
    auto* made = new (std::nothrow) Object;
    if (made == nullptr) return nullptr;
    make(made);
    if (__atomic_compare_exchange_n(slot, &value, reinterpret_cast<std::intptr_t>(made), false, __ATOMIC_ACQ_REL,
                                    __ATOMIC_ACQUIRE)) {
        return made;
    }
    unmake(made);  // another thread made it first: value holds its object now
    delete made;
    return reinterpret_cast<Object*>(value);
}

CRITICAL_SECTION* LockOf(std::intptr_t* slot) {
    return MadeOnFirstUse<CRITICAL_SECTION>(slot, InitializeCriticalSection, DeleteCriticalSection);
}

CONDITION_VARIABLE* ConditionOf(std::intptr_t* slot) {
    // A condition variable holds nothing of the system's: nothing to undo.
    return MadeOnFirstUse<CONDITION_VARIABLE>(slot, InitializeConditionVariable, [](CONDITION_VARIABLE*) {});
}

// The thread-local slots this library took, given back when it is unloaded (a browser may load and
// unload it many times, and a process has about a thousand such slots).
constexpr int kMaxKeys = 16;
DWORD g_keys[kMaxKeys];
long g_key_count = 0;

struct KeysGoWithTheLibrary {
    ~KeysGoWithTheLibrary() {
        for (long i = 0; i < g_key_count; ++i) {
            if (g_keys[i] != TLS_OUT_OF_INDEXES) TlsFree(g_keys[i]);
        }
    }
} g_keys_go_with_the_library;

}  // namespace

int LockInit(std::intptr_t* slot) noexcept {
    *slot = -1;  // made on first use
    return 0;
}

int LockDestroy(std::intptr_t* slot) noexcept {
    const std::intptr_t value = *slot;
    if (Made(value)) {
        auto* lock = reinterpret_cast<CRITICAL_SECTION*>(value);
        DeleteCriticalSection(lock);
        delete lock;
    }
    *slot = -1;
    return 0;
}

int LockAcquire(std::intptr_t* slot) noexcept {
    CRITICAL_SECTION* lock = LockOf(slot);
    if (lock == nullptr) return ENOMEM;
    EnterCriticalSection(lock);
    return 0;
}

int LockRelease(std::intptr_t* slot) noexcept {
    const std::intptr_t value = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
    if (!Made(value)) return EPERM;
    LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(value));
    return 0;
}

int ConditionWait(std::intptr_t* condition, std::intptr_t* lock) noexcept {
    CONDITION_VARIABLE* waited = ConditionOf(condition);
    if (waited == nullptr) return ENOMEM;
    const std::intptr_t held = __atomic_load_n(lock, __ATOMIC_ACQUIRE);
    if (!Made(held)) return EPERM;
    return SleepConditionVariableCS(waited, reinterpret_cast<CRITICAL_SECTION*>(held), INFINITE) ? 0 : EINVAL;
}

int ConditionWakeAll(std::intptr_t* condition) noexcept {
    CONDITION_VARIABLE* woken = ConditionOf(condition);
    if (woken == nullptr) return ENOMEM;
    WakeAllConditionVariable(woken);
    return 0;
}

int RunOnce(long* flag, void (*once_function)()) noexcept {
    enum : long { kNotRun = 0, kRunning = 1, kDone = 2 };
    long state = __atomic_load_n(flag, __ATOMIC_ACQUIRE);
    if (state == kDone) return 0;
    long expected = kNotRun;
    if (__atomic_compare_exchange_n(flag, &expected, kRunning, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        once_function();
        __atomic_store_n(flag, kDone, __ATOMIC_RELEASE);
        return 0;
    }
    // Another thread runs it: what it initialises is short work, so yielding until it is done is enough.
    while (__atomic_load_n(flag, __ATOMIC_ACQUIRE) != kDone) SwitchToThread();
    return 0;
}

int KeyCreate(unsigned* key) noexcept {
    const long index = __atomic_fetch_add(&g_key_count, 1, __ATOMIC_ACQ_REL);
    if (index >= kMaxKeys) {
        __atomic_fetch_sub(&g_key_count, 1, __ATOMIC_ACQ_REL);
        return EAGAIN;
    }
    const DWORD made = TlsAlloc();
    g_keys[index] = made;
    if (made == TLS_OUT_OF_INDEXES) return EAGAIN;
    *key = made;
    return 0;
}

int KeyDelete(unsigned key) noexcept {
    for (long i = 0; i < __atomic_load_n(&g_key_count, __ATOMIC_ACQUIRE); ++i) {
        if (g_keys[i] == key) g_keys[i] = TLS_OUT_OF_INDEXES;
    }
    return TlsFree(key) ? 0 : EINVAL;
}

void* KeyValue(unsigned key) noexcept {
    const DWORD last_error = GetLastError();  // TlsGetValue clears it
    void* value = TlsGetValue(key);
    SetLastError(last_error);
    return value;
}

int SetKeyValue(unsigned key, const void* value) noexcept {
    return TlsSetValue(key, const_cast<void*>(value)) ? 0 : EINVAL;
}

}  // namespace tb::thread_runtime
