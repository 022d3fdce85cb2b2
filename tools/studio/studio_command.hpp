#pragma once
// `tbtool studio [SOURCE] [--port N] [--no-open] [--allow-folder DIR]...`: serves the toolbar studio,
// a page on which a publisher edits, checks, builds and signs a toolbar source, on 127.0.0.1.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tb::tool {

struct StudioOptions {
    std::optional<std::string> source;  // absent: a new toolbar in a folder the studio names
    int port = 0;                       // 0: one that stays the same for SOURCE, else any free one
    bool open_browser = true;           // where a desktop browser can be started
    std::vector<std::string> allowed_folders;
};

// Serves until interrupted (SIGINT, SIGTERM); the address with its token is the first line of `out`.
int StudioCommand(const StudioOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tb::tool
