#pragma once
// The dump format: a storage tree as JSON that loses nothing, so `pack` of a `dump` gives back the
// same tree, table order and section ids included.
//
//   {
//     "format": "tbtool dump 1",
//     "version": 2,                                   the file's format version (informative)
//     "sections": [ {"id": 1, "parent": 0, "name": "Options"}, ... ],          table order
//     "keys": [ {"section": 1, "name": "Toolbar Name", "kind": "string", "value": "Bar"}, ... ]
//   }
//
// Byte text (names, text values) is a JSON string when it is well-formed UTF-8, else
// {"hex": "..."}. Values by kind:
//   empty                 no "value"
//   string, binary        byte text (binary is always written as {"hex": ...})
//   integer, raw32        a signed 32-bit number
//   int64                 a signed 64-bit number
//   boolean               true or false; any other stored 32-bit value as that number
//   float, datetime       a number (datetime: days since 1899-12-30); {"hex": 8 bytes} when not finite
//   currency              decimal text with at most four decimals, "12.5"
//   point                 [x, y]
//   an unknown kind code  "kind" is that number and there is no "value"
#include "tools/json_text.hpp"
#include "tools/raw_tables.hpp"

namespace tb::tool {

inline constexpr const char* kDumpFormat = "tbtool dump 1";

Json DumpToJson(const RawTables& tables);
// Throws JsonError naming the place of the first value that does not fit.
RawTables DumpFromJson(const Json& document);

// One value in the dump's form for the kind, as payload bytes; throws JsonError naming `where`.
std::string PayloadFromJson(uint16_t kind, const Json& value, const std::string& where);
// A kind by its name ("string", ...) or its code.
uint16_t KindFromJson(const Json& value, const std::string& where);

// The kind's name in the dump ("string", "integer", ...), empty for an unknown code.
std::string KindName(uint16_t kind);

}  // namespace tb::tool
