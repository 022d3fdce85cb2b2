#pragma once
// The few services that the C++ runtime linked into the library (its exception handling, its
// thread-local data and its guarded statics) asks of a threads library, built directly on the
// operating system's: a lock that may be taken again by its owner, a condition to wait on, a
// function run once, and per-thread values. The library names them as that runtime calls them
// (band/thread_runtime_exports_win.cpp), so the runtime's own threads library stays out of it.
//
// The slots are the runtime's: a lock or condition is one pointer-sized slot whose static
// initialisers are small negative values, so each is made on first use and put in its slot by one
// atomic exchange. Values stored per thread have no end-of-thread destructor: the library asks for
// no thread notifications (see dll_main_win.cpp), so none could run; the runtime's per-thread
// blocks are a few dozen bytes.
#include <cstdint>

namespace tb::thread_runtime {

int LockInit(std::intptr_t* slot) noexcept;
int LockDestroy(std::intptr_t* slot) noexcept;
int LockAcquire(std::intptr_t* slot) noexcept;
int LockRelease(std::intptr_t* slot) noexcept;

int ConditionWait(std::intptr_t* condition, std::intptr_t* lock) noexcept;
int ConditionWakeAll(std::intptr_t* condition) noexcept;

// Runs once_function the first time any thread comes here with this flag (0 at first); the others
// wait until it has returned.
int RunOnce(long* flag, void (*once_function)()) noexcept;

// Keys are the operating system's thread-local slots; they are given back when the library goes.
int KeyCreate(unsigned* key) noexcept;
int KeyDelete(unsigned key) noexcept;
void* KeyValue(unsigned key) noexcept;  // keeps the thread's last error as it was
int SetKeyValue(unsigned key, const void* value) noexcept;

}  // namespace tb::thread_runtime
