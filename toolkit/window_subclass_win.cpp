#include "toolkit/window_subclass_win.hpp"

#include <algorithm>
#include <mutex>
#include <vector>

#include "base/lock.hpp"

namespace tb {
namespace {

struct Link {
    SubclassProcedure procedure;
    UINT_PTR id;
    DWORD_PTR data;
    bool removed;
};

// One window's procedures. Only the window's own thread touches it after it is made.
struct Chain {
    HWND window = nullptr;
    WNDPROC original = nullptr;
    std::vector<Link> links;  // oldest first
    // The message being passed on goes next to the link below this index (then to the original).
    std::size_t next = 0;
    int depth = 0;              // this window's messages being handled now (a handler may send it more)
    bool removed_some = false;  // links taken out while a message ran, to drop once it is done
    bool destroyed = false;
};

// Every thread's chains. The lock guards the list, not the chains.
class Chains {
public:
    Chain* Find(HWND window) {
        std::lock_guard<Lock> hold(lock_);
        for (Chain* chain : chains_) {
            if (chain->window == window) return chain;
        }
        return nullptr;
    }
    void Add(Chain* chain) {
        std::lock_guard<Lock> hold(lock_);
        chains_.push_back(chain);
    }
    void Remove(Chain* chain) {
        {
            std::lock_guard<Lock> hold(lock_);
            chains_.erase(std::remove(chains_.begin(), chains_.end(), chain), chains_.end());
        }
        delete chain;
    }
    int Count() {
        std::lock_guard<Lock> hold(lock_);
        return static_cast<int>(chains_.size());
    }

private:
    Lock lock_;
    std::vector<Chain*> chains_;
};

Chains& AllChains() {
    static Chains chains;
    return chains;
}

LRESULT CALLBACK ChainProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

LRESULT PassOn(Chain& chain, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    while (chain.next > 0) {
        const Link link = chain.links[--chain.next];
        if (!link.removed) return link.procedure(window, message, wparam, lparam, link.id, link.data);
    }
    return CallWindowProcW(chain.original, window, message, wparam, lparam);
}

// Between messages: removed links go, and a chain without links steps out of the window when its
// procedure is still the window's (one put in front of it later keeps calling it: then it stays,
// passing everything on, until the window ends).
void Tidy(Chain* chain) {
    chain->removed_some = false;
    chain->links.erase(std::remove_if(chain->links.begin(), chain->links.end(),
                                      [](const Link& link) { return link.removed; }),
                       chain->links.end());
    const bool ours =
        GetWindowLongPtrW(chain->window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ChainProcedure);
    if (chain->destroyed) {
        if (ours) SetWindowLongPtrW(chain->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(chain->original));
        AllChains().Remove(chain);
    } else if (chain->links.empty() && ours) {
        SetWindowLongPtrW(chain->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(chain->original));
        AllChains().Remove(chain);
    }
}

LRESULT CALLBACK ChainProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Chain* chain = AllChains().Find(window);
    if (chain == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    const std::size_t outer_next = chain->next;
    chain->next = chain->links.size();
    ++chain->depth;
    const LRESULT result = PassOn(*chain, window, message, wparam, lparam);
    --chain->depth;
    chain->next = outer_next;
    if (message == WM_NCDESTROY) chain->destroyed = true;
    if (chain->depth == 0 && (chain->removed_some || chain->destroyed)) Tidy(chain);
    return result;
}

bool OnThisThread(HWND window) { return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId(); }

}  // namespace

bool AddSubclass(HWND window, SubclassProcedure procedure, UINT_PTR id, DWORD_PTR data) {
    if (window == nullptr || procedure == nullptr || !IsWindow(window) || !OnThisThread(window)) return false;
    Chain* chain = AllChains().Find(window);
    if (chain == nullptr) {
        chain = new Chain;
        chain->window = window;
        chain->original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChainProcedure)));
        if (chain->original == nullptr) {
            delete chain;
            return false;
        }
        AllChains().Add(chain);
    }
    for (Link& link : chain->links) {
        if (link.procedure == procedure && link.id == id && !link.removed) {
            link.data = data;
            return true;
        }
    }
    chain->links.push_back({procedure, id, data, false});
    return true;
}

void RemoveSubclass(HWND window, SubclassProcedure procedure, UINT_PTR id) {
    if (window == nullptr || !OnThisThread(window)) return;
    Chain* chain = AllChains().Find(window);
    if (chain == nullptr) return;
    for (Link& link : chain->links) {
        if (link.procedure == procedure && link.id == id) link.removed = true;
    }
    chain->removed_some = true;
    if (chain->depth == 0) Tidy(chain);
}

LRESULT CallNextSubclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Chain* chain = AllChains().Find(window);
    if (chain == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    return PassOn(*chain, window, message, wparam, lparam);
}

int SubclassedWindowCount() { return AllChains().Count(); }

}  // namespace tb
