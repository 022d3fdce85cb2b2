#include "toolbar/history_list_win.hpp"

#include <windows.h>

#include <climits>

namespace tb {

int CompareTextIgnoringCase(std::u16string_view a, std::u16string_view b) {
    const auto length = [](std::u16string_view text) {
        return static_cast<int>(text.size() > INT_MAX ? INT_MAX : text.size());
    };
    const int result = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, reinterpret_cast<const wchar_t*>(a.data()),
                                      length(a), reinterpret_cast<const wchar_t*>(b.data()), length(b));
    // 0 is a failure of the call (not expected for valid lengths): fall back to the code units.
    if (result == 0) return a.compare(b);
    return result - CSTR_EQUAL;
}

std::size_t THistoryList::LowerBound(std::u16string_view term) const {
    // A binary search of our own: it only needs the comparison to be consistent with itself where
    // it looks, and an odd locale rule can at worst misplace an entry, never break the list.
    std::size_t low = 0, high = entries_.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (CompareTextIgnoringCase(entries_[middle], term) < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

bool THistoryList::Add(std::u16string_view term) {
    const std::size_t at = LowerBound(term);
    if (at < entries_.size() && CompareTextIgnoringCase(entries_[at], term) == 0) return false;
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), std::u16string(term));
    return true;
}

void THistoryList::Assign(const std::vector<std::u16string>& terms) {
    entries_.clear();
    for (const std::u16string& term : terms) Add(term);
}

int THistoryList::IndexOf(std::u16string_view term) const {
    const std::size_t at = LowerBound(term);
    if (at < entries_.size() && CompareTextIgnoringCase(entries_[at], term) == 0) return static_cast<int>(at);
    return -1;
}

}  // namespace tb
