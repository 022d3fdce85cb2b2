#pragma once
// The history of search terms as the window keeps it: a list kept sorted under the system's
// locale-aware comparison with letter case ignored, where a term equal to one already listed (letter
// case ignored) is not added again.
#include <string>
#include <string_view>
#include <vector>

namespace tb {

// CompareStringW on the user's locale with case ignored: <0, 0 or >0.
int CompareTextIgnoringCase(std::u16string_view a, std::u16string_view b);

class THistoryList {
public:
    // Adds the term at its sorted place; false (and nothing changes) when an equal one is listed.
    bool Add(std::u16string_view term);
    // The entries of `terms`, sorted, duplicates dropped.
    void Assign(const std::vector<std::u16string>& terms);
    void Clear() { entries_.clear(); }
    // The index of the entry equal to the term, letter case ignored, or -1.
    int IndexOf(std::u16string_view term) const;
    const std::vector<std::u16string>& Entries() const { return entries_; }

private:
    // The first entry not ordered before the term.
    std::size_t LowerBound(std::u16string_view term) const;

    std::vector<std::u16string> entries_;
};

}  // namespace tb
