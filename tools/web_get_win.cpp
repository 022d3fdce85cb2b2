#include "base/errors.hpp"
#include "tools/web_get.hpp"

namespace tb::tool {

// The toolbar library fetches with WinInet; the Windows build of the tool leaves probing to the
// native one, as it leaves signing.
WebGetResult WebGet(const std::string&, const WebGetOptions&) {
    throw Error("probing an update location is done by the native tool only");
}

}  // namespace tb::tool
