#pragma once
// Functions of the system's own libraries that the toolbar loads when a feature first needs them,
// not with itself: a new browser process then pays for the internet library, the cryptography and
// the common dialogs only when an update runs, a download is checked or a dialog opens. Always
// from the system folder, never from the browser's or the current folder.
#include <windows.h>

namespace tb {

// The function, or nullptr when the library or the function cannot be found. A library once
// loaded stays loaded for the process: the functions handed out must stay valid.
FARPROC SystemFunctionAddress(const wchar_t* library, const char* function);

template <class Function>
Function SystemFunction(const wchar_t* library, const char* function) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(SystemFunctionAddress(library, function)));
}

}  // namespace tb

// The functions of one system library, each looked up by the name of its declaration in the
// platform's headers, remembering whether any of them was missing:
//   SystemLibrary cng(L"bcrypt.dll");
//   static const Table table{TB_SYSTEM_FUNCTION(cng, BCryptHashData), ...};
//   return cng.Complete() ? &table : nullptr;
namespace tb {

class SystemLibrary {
public:
    explicit SystemLibrary(const wchar_t* name) : name_(name) {}

    template <class Function>
    Function Find(const char* function) {
        const auto found = SystemFunction<Function>(name_, function);
        complete_ = complete_ && found != nullptr;
        return found;
    }
    bool Complete() const { return complete_; }

private:
    const wchar_t* name_;
    bool complete_ = true;
};

}  // namespace tb

#define TB_SYSTEM_FUNCTION(library, name) (library).Find<decltype(&::name)>(#name)
