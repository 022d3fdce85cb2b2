#include "host/toolbar_dump_win.hpp"

#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <exception>

#include "settings/startup_win.hpp"
#include "toolbar/toolbar_form_win.hpp"

namespace tb::host {

// Until the band exists the window is built here directly, the way the band will build it: with
// the library's own start-up settings and resources, as a hidden window.
int DumpToolbar(const std::wstring& library) {
    HMODULE module = LoadLibraryW(library.c_str());
    if (module == nullptr) {
        std::fwprintf(stderr, L"tbhost: cannot load %ls (error %lu)\n", library.c_str(), GetLastError());
        return 1;
    }
    const HRESULT ole = OleInitialize(nullptr);
    int status = 1;
    try {
        LoadStartupSettings(module);
        RegisterHandCursor();
        TFormToolbar::Pointer form = TFormToolbar::New();
        TFormToolbar::CreateArgs args;
        args.resources = module;
        args.visible = false;
        if (form->Construct(args)) {
            std::printf("%s\n", form->Describe().c_str());
            std::fflush(stdout);
            status = 0;
        }
        form.reset();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tbhost: %s\n", e.what());
    }
    if (SUCCEEDED(ole)) OleUninitialize();
    FreeLibrary(module);
    return status;
}

}  // namespace tb::host
