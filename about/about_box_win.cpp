#include "about/about_box_win.hpp"

#include <memory>

#include "about/about_form_win.hpp"
#include "base/boundary_win.hpp"
#include "toolkit/dialogs_win.hpp"

namespace tb {

void ShowAboutBox(bool splash) {
    try {
        auto form = std::make_unique<TFormAbout>();
        // FormCreate reported its own failure; the same filling would fail again at the show.
        if (form->Construct()) form->ShowBox(splash);
        form->Hide();
    } catch (...) {
        // The callers are handlers of the toolbar and commands of the band: nothing goes on to the browser.
        ShowErrorBox(nullptr, MessageOfCaughtException());
    }
}

}  // namespace tb
