#pragma once
// The text files the toolbar keeps and shows: the search history (History.txt) and the copyright
// text next to the library (Copyrights.txt).
//
// Reading goes by the first bytes: FF FE is little-endian UTF-16, FE FF big-endian UTF-16,
// EF BB BF UTF-8; anything else is 8-bit text in the system code page. Lines end at CR LF, CR or
// LF; an empty line is an empty entry, and the last line needs no ending.
// Writing (the history) is always FF FE followed by each line in little-endian UTF-16 and CR LF.
//
// Any bytes load: a UTF-16 file of odd length loses only its last half character, unpaired
// surrogates stay as they are, a line that is not valid UTF-8 in a UTF-8 file is read in the code
// page instead, and NUL characters are dropped (a list entry would end at the first one).
#include <string>
#include <string_view>
#include <vector>

namespace tb {

// The whole text of a file's bytes, decoded by its mark (the mark itself is not part of it).
std::u16string DecodeMarkedText(std::string_view bytes);

// The file's lines, decoded by its mark and split at CR LF, CR or LF.
std::vector<std::u16string> ReadTextLines(std::string_view bytes);

// FF FE, then each line in little-endian UTF-16 followed by CR LF. No lines give the two bytes alone.
// A line holding CR, LF or NUL is written with each run of them as one blank, so it reads back as
// the one entry it was.
std::string WriteTextLines(const std::vector<std::u16string>& lines);

}  // namespace tb
