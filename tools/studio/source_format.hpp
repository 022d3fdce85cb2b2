#pragma once
// A toolbar source written as a person writes it, so that a save from the studio changes only the
// lines the publisher changed: fields in a fixed order (the order the handbook lists them), two
// blanks of indent, and a short item on one line.
#include <string>

#include "tools/json_text.hpp"

namespace tb::tool {

// The source as UTF-8 text ending in a line break. Formatting the result's parse again gives the
// same text. Fields the order does not know keep their own order after the known ones. Throws
// JsonError for a document nested deeper than any source (a save refuses it, writing nothing).
std::string FormatSource(const Json& source);

// Throws JsonError for a document nested deeper than any source. Measured without recursion, so it
// runs before anything that copies or writes the document (both recurse) may exhaust the stack.
void RequireShallow(const Json& document);

}  // namespace tb::tool
