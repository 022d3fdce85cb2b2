// What the C++ runtime linked into the library asks of the libraries beneath it, given by the
// library itself so that those libraries stay out of it (about 90 KB of the 32-bit library):
// - the threads library behind its exception handling, thread-local data and guarded statics: the
//   few calls it makes, on the operating system's own locks and thread-local slots
//   (base/thread_runtime_win.cpp);
// - the functions by which the standard containers and strings report a misuse (an index out of
//   range, a length too large). The runtime's own versions throw the standard exception classes,
//   whose message string type alone weighs some 40 KB; here they throw the system's Error with the
//   same message, still a std::exception, which every boundary of the library catches as such.
//   Nothing in the library catches those standard classes by name.
// They are defined in this object of the library itself, not in an archive, so that the linker
// finds them before it looks into the runtime's libraries.
#include <pthread.h>

#include <bits/functexcept.h>

#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>
#include <typeinfo>

#include "base/errors.hpp"
#include "base/thread_runtime_win.hpp"

using namespace tb::thread_runtime;

extern "C" {

int pthread_mutex_init(pthread_mutex_t* m, const pthread_mutexattr_t*) { return LockInit(m); }
int pthread_mutex_destroy(pthread_mutex_t* m) { return LockDestroy(m); }
int pthread_mutex_lock(pthread_mutex_t* m) { return LockAcquire(m); }
int pthread_mutex_unlock(pthread_mutex_t* m) { return LockRelease(m); }
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) { return ConditionWait(c, m); }
int pthread_cond_broadcast(pthread_cond_t* c) { return ConditionWakeAll(c); }
int pthread_once(pthread_once_t* o, void (*f)(void)) { return RunOnce(o, f); }
int pthread_key_create(pthread_key_t* key, void (*)(void*)) { return KeyCreate(key); }
int pthread_key_delete(pthread_key_t key) { return KeyDelete(key); }
void* pthread_getspecific(pthread_key_t key) { return KeyValue(key); }
int pthread_setspecific(pthread_key_t key, const void* value) { return SetKeyValue(key, value); }

}  // extern "C"

namespace {

// The runtime's messages with their numbers filled in: it uses %zu, %lu, %s and %%.
std::string FillInMessage(const char* format, va_list arguments) {
    std::string text;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            text += *p;
            continue;
        }
        ++p;
        if (*p == 's') {
            text += va_arg(arguments, const char*);
        } else if (*p == 'z' && p[1] == 'u') {
            ++p;
            text += std::to_string(va_arg(arguments, size_t));
        } else if (*p == 'l' && p[1] == 'u') {
            ++p;
            text += std::to_string(va_arg(arguments, unsigned long));
        } else if (*p == '%') {
            text += '%';
        } else {
            text += '%';
            if (*p == '\0') break;
            text += *p;
        }
    }
    return text;
}

}  // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* what) { throw tb::Error(what); }
void __throw_domain_error(const char* what) { throw tb::Error(what); }
void __throw_invalid_argument(const char* what) { throw tb::Error(what); }
void __throw_length_error(const char* what) { throw tb::Error(what); }
void __throw_out_of_range(const char* what) { throw tb::Error(what); }
void __throw_runtime_error(const char* what) { throw tb::Error(what); }
void __throw_range_error(const char* what) { throw tb::Error(what); }
void __throw_overflow_error(const char* what) { throw tb::Error(what); }
void __throw_underflow_error(const char* what) { throw tb::Error(what); }

void __throw_out_of_range_fmt(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = FillInMessage(format, arguments);
    va_end(arguments);
    throw tb::Error(text);
}

}  // namespace std
