#pragma once
// The storage file image of raw tables, written in the store's own format, so that `pack` can give
// back a file with its exact table order and section ids.
#include <string>

#include "tools/raw_tables.hpp"

namespace tb::tool {

// Throws tb::Error when the tables exceed what the format can hold (65535 sections or keys, ids
// above 65535, names above 255 bytes) rather than writing a file that reads back differently.
std::string WriteStorageImage(const RawTables& tables);

}  // namespace tb::tool
