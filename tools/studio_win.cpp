// The studio's web server is part of the native tool only: the Windows build of tbtool carries no
// HTTP server.
#include "base/errors.hpp"
#include "tools/studio/studio_command.hpp"

namespace tb::tool {

int StudioCommand(const StudioOptions&, std::ostream&, std::ostream&) {
    throw Error("the studio is served by the native tool only");
}

}  // namespace tb::tool
