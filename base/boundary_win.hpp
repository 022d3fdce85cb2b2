#pragma once
// Where Windows calls into the system (COM methods, exports, window procedures, thread procedures)
// no exception may pass. Each such entry wraps its body in one of the helpers below:
//   STDMETHODIMP Band::GetWindow(HWND* out) { return ComBoundary([&] { ...; return S_OK; }); }
//   LRESULT CALLBACK Proc(...) { return WindowBoundary([&] { ... }, 0); }
// and each COM class answers QueryInterface from a table:
//   return QueryInterfaceFromTable(this, riid, out, {TB_QI_ENTRY(Band, IDeskBand), ...});
#include <windows.h>
#include <unknwn.h>

#include <initializer_list>
#include <new>
#include <string>

#include "base/com_win.hpp"
#include "base/errors.hpp"

namespace tb {

// The HRESULT for the exception being handled; call it only inside a catch block.
//   ComError -> its code; std::bad_alloc -> E_OUTOFMEMORY; anything else -> E_FAIL.
inline HRESULT HresultFromCaughtException() noexcept {
    try {
        throw;
    } catch (const ComError& error) {
        return FAILED(error.Code()) ? error.Code() : E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// The message of the exception being handled (the system's own text), for a log line or a box.
inline std::string MessageOfCaughtException() noexcept {
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "Unknown error.";
    }
}

// Runs body (returning HRESULT) and turns any exception into an HRESULT.
template <class Body>
HRESULT ComBoundary(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return HresultFromCaughtException();
    }
}

// Runs body and gives onFailure instead of letting an exception reach Windows. The failure goes to
// the debugger's output: there is no user who could act on it here (forms show their own error box).
template <class Result, class Body>
Result BoundaryReturning(Body&& body, Result onFailure, const char* where) noexcept {
    try {
        return body();
    } catch (...) {
        const std::string text = std::string(where) + ": " + MessageOfCaughtException() + "\n";
        OutputDebugStringA(text.c_str());
        return onFailure;
    }
}

template <class Body>
LRESULT WindowBoundary(Body&& body, LRESULT onFailure = 0) noexcept {
    return BoundaryReturning<LRESULT>(static_cast<Body&&>(body), onFailure, "window procedure");
}

template <class Body>
DWORD ThreadBoundary(Body&& body) noexcept {
    return BoundaryReturning<DWORD>(static_cast<Body&&>(body), 1, "thread");
}

// One row of a QueryInterface table: an interface id and how to reach that interface of the object.
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*cast)(void* object);
};

template <class Object, class Interface>
IUnknown* CastToInterface(void* object) {
    return static_cast<Interface*>(static_cast<Object*>(object));
}

#define TB_QI_ENTRY(Object, Interface) ::tb::InterfaceEntry{&IID_##Interface, &::tb::CastToInterface<Object, Interface>}

// QueryInterface from a table: IUnknown is answered with the first entry's interface, so every
// IUnknown query of one object gives the same pointer (COM's identity rule).
template <class Object>
HRESULT QueryInterfaceFromTable(Object* object, REFIID iid, void** out,
                                std::initializer_list<InterfaceEntry> table) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (table.size() == 0) return E_NOINTERFACE;
    for (const InterfaceEntry& entry : table) {
        if (IsEqualIID(iid, *entry.iid)) {
            IUnknown* found = entry.cast(object);
            found->AddRef();
            *out = found;
            return S_OK;
        }
    }
    if (IsEqualIID(iid, IID_IUnknown)) {
        IUnknown* identity = table.begin()->cast(object);
        identity->AddRef();
        *out = identity;
        return S_OK;
    }
    return E_NOINTERFACE;
}

}  // namespace tb
