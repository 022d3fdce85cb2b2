#pragma once
// The embedded copy of a storage file that a stream back-end can carry (its internal stream), in
// its saved form, the "InternalFile" property data:
//   01 01, a 4-byte little-endian length C, then C bytes: the copy compressed as a chunked stream.
// The toolbar library carries its default template this way, as a resource.
#include <string>
#include <string_view>

namespace tb {

class TrsStreamData;

// The property data for an embedded copy; an empty copy gives no property (empty result).
std::string EncodeInternalFile(std::string_view copy);

// The copy held by property data; false (and `copy` empty) when the data is cut off, its chunked
// stream is truncated or corrupt, or it does not start with 01 01.
bool DecodeInternalFile(std::string_view property_data, std::string& copy);

// Makes the decoded copy the back-end's internal stream (rewound), so that iflAlways and
// iflNoRealFile load from it. Data that does not decode leaves the internal stream empty: a
// damaged copy never reaches the tree reader. Returns whether the copy decoded.
bool LoadInternalFile(TrsStreamData& data, std::string_view property_data);

// The property data of the back-end's internal stream (empty when there is none to save).
std::string SaveInternalFile(const TrsStreamData& data);

}  // namespace tb
