#pragma once
// Windows-only COM helpers: owning VARIANT and BSTR wrappers (move-only) and the exception that
// carries a failing HRESULT. Interface pointers use Microsoft::WRL::ComPtr; objects the system makes
// come from MakeComObject.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <string_view>
#include <utility>

#include "base/errors.hpp"

namespace tb {

// A failing HRESULT raised as the system's exception; the message is the system's text for the code
// (or the description an automation object gave with DISP_E_EXCEPTION).
class ComError : public Error {
public:
    explicit ComError(HRESULT code) : Error(MessageFor(code)), code_(code) {}
    ComError(HRESULT code, const std::string& message) : Error(message), code_(code) {}
    HRESULT Code() const { return code_; }

    static std::string MessageFor(HRESULT code) {
        std::string text = SystemErrorMessage(static_cast<int>(code));
        if (text.rfind("System error ", 0) == 0) {
            char hex[16];
            wsprintfA(hex, "%08lX", static_cast<unsigned long>(code));
            text = std::string("OLE error ") + hex;
        }
        return text;
    }

private:
    HRESULT code_;
};

// COM for the calling thread for as long as the scope lasts; a thread that already has it (in any
// apartment) keeps it as it is.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

inline void ThrowIfFailed(HRESULT code) {
    if (FAILED(code)) throw ComError(code);
}

// The pointer that takes over the one reference a newly made object starts with. MakeComObject's
// half; on its own only for an object whose counting lives elsewhere (an aggregatable object's
// inner unknown).
template <class Interface>
Microsoft::WRL::ComPtr<Interface> AdoptFirstReference(Interface* made) {
    Microsoft::WRL::ComPtr<Interface> owner;
    *owner.GetAddressOf() = made;
    return owner;
}

// A new COM object whose reference count starts at one, handed to the pointer that owns that one
// reference. (This toolchain's ComPtr::Attach adds a reference of its own, so `p.Attach(new T)`
// leaves an object that is never freed.)
template <class Object, class... Arguments>
Microsoft::WRL::ComPtr<Object> MakeComObject(Arguments&&... arguments) {
    return AdoptFirstReference(new Object(std::forward<Arguments>(arguments)...));
}

// An owning BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text) : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!value_ && !text.empty()) throw ComError(E_OUTOFMEMORY);
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) {
            SysFreeString(value_);
            value_ = std::exchange(other.value_, nullptr);
        }
        return *this;
    }
    ~Bstr() { SysFreeString(value_); }

    BSTR Get() const { return value_; }
    // For out parameters: frees what is held and hands out the slot.
    BSTR* Put() {
        SysFreeString(value_);
        value_ = nullptr;
        return &value_;
    }
    std::wstring Text() const { return value_ ? std::wstring(value_, SysStringLen(value_)) : std::wstring(); }

private:
    BSTR value_ = nullptr;
};

// An owning VARIANT, empty (VT_EMPTY) at first; cleared with VariantClear.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
    Variant& operator=(Variant&& other) noexcept {
        if (this != &other) {
            VariantClear(&value_);
            value_ = other.value_;
            VariantInit(&other.value_);
        }
        return *this;
    }
    ~Variant() { VariantClear(&value_); }

    bool Empty() const { return value_.vt == VT_EMPTY; }
    void Clear() { VariantClear(&value_); }
    VARIANT* Get() { return &value_; }
    const VARIANT* Get() const { return &value_; }

    // Takes over one reference of the interface.
    void AttachDispatch(IDispatch* dispatch) {
        VariantClear(&value_);
        value_.vt = VT_DISPATCH;
        value_.pdispVal = dispatch;
    }

private:
    VARIANT value_;
};

}  // namespace tb
