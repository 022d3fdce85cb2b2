#pragma once
// The Flash banner, a component of the toolbar window. The control of another maker stands at the
// left end of the toolbar, hidden, and takes the logo's place once its movie has loaded: it is set up
// only where a Flash player is installed and the template names a movie, and the movie loads only
// when the machine is online.
#include <cstdint>
#include <functional>
#include <memory>

#include "toolkit/form_win.hpp"
#include "toolkit/item_model.hpp"
#include "toolkit/ole_control_win.hpp"
#include "toolkit/toolbar_control_win.hpp"

namespace tb {

class TBanner {
public:
    // The control goes on `toolbar` as an item of `items`; its events run as handlers of `form`.
    TBanner(TForm& form, TToolbarControl& toolbar, TItemOwner& items);
    TBanner(const TBanner&) = delete;
    TBanner& operator=(const TBanner&) = delete;

    // The window's creation step: the control, first on the toolbar and hidden, loading the movie.
    void SetUp();
    // The window's destruction step: the control (and its connection) goes.
    void Close() { flash_.reset(); }
    // The control, or null when no banner is set up.
    TOleControl* Control() const { return flash_.get(); }

    // The connection check before the movie loads (0: online); WinInet's InternetAttemptConnect
    // when unset. Tests set another before the window is made, to be offline.
    std::function<unsigned long()> AttemptConnect;
    // Runs when the banner is about to show: the window hides its logo then.
    std::function<void()> OnShowing;

private:
    // The control's ready state: complete with something loaded shows the banner.
    void ReadyStateChange(TOleControl& sender, std::int32_t new_state);

    TForm& form_;
    TToolbarControl& toolbar_;
    TItemOwner& items_;
    std::unique_ptr<TOleControl> flash_;
};

}  // namespace tb
