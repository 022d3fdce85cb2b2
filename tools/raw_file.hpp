#pragma once
// The storage file image of raw tables, encoded by the store itself, so that `pack` gives back a
// file with its exact table order and section ids, byte for byte as the store would save it.
#include <string>

#include "tools/raw_tables.hpp"

namespace tb::tool {

// Throws tb::Error when the tables exceed what the format can hold (65535 sections or keys, ids
// above 65535, names above 255 bytes) or a value has the wrong size for its kind, rather than
// writing a file that reads back differently.
std::string WriteStorageImage(const RawTables& tables);

}  // namespace tb::tool
