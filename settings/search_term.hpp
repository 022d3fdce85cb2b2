#pragma once
// The search URL: a search engine's address template with the placeholder "[SEARCH]" where the
// user's term goes, and the encoding of the term for it.
#include <string>
#include <string_view>

namespace tb {

inline constexpr std::string_view kSearchPlaceholder = "[SEARCH]";

// Encodes a term (8-bit text in the system code page) byte by byte for a URL: letters, digits and
// * @ . _ - $ ! ' ( ) stay, the blank becomes "+", every other byte "%XX" with upper-case hex
// digits. "a b&c" gives "a+b%26c". The result is at most three times as long as the term.
std::string EncodeSearchTerm(std::string_view term);

// Replaces every "[SEARCH]" in the template, letter case ignored, by the encoded term; a template
// without the placeholder comes back unchanged.
std::string FillSearchTemplate(std::string_view url_template, std::string_view encoded_term);

}  // namespace tb
