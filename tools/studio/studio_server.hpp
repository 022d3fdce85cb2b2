#pragma once
// The studio's web server: the page and the few requests it makes, on 127.0.0.1 only.
//
// Every request must carry the token made for this run (the "t" query parameter, or the
// X-Studio-Token header, which a write must use), must name this server in its Host header (so a
// page of another site cannot reach it through a name that resolves to 127.0.0.1), and must not
// come from another site (Origin, Sec-Fetch-Site). No response allows another origin to read it.
//
// The server writes the source file it was given, PNG files in the icons folder beside it, and the
// build output folder; nothing else. Files the source names are read as `tbtool build` reads them,
// confined to the source's folder and the folders the publisher allows.
#include <memory>
#include <string>
#include <vector>

namespace tb::tool {

struct StudioSettings {
    std::string source_file;                   // the one source the studio edits
    std::string output_dir;                    // where Build writes (created on the first build)
    std::vector<std::string> allowed_folders;  // as `build --allow-folder`
    std::string token;                         // the secret of this run
    std::string preview_script;                // scripts/preview; empty when Picture is not offered
};

// The icons folder of a source: "icons" beside it.
std::string IconsFolderOf(const std::string& source_file);

class StudioServer {
public:
    explicit StudioServer(StudioSettings settings);
    ~StudioServer();
    StudioServer(const StudioServer&) = delete;
    StudioServer& operator=(const StudioServer&) = delete;

    // Binds 127.0.0.1:port (0: a free port) and returns the port; throws tb::Error when it cannot.
    int Bind(int port);
    // Serves until Stop is called (from any thread or a signal's watcher).
    void Run();
    void Stop();
    // http://127.0.0.1:PORT/?t=TOKEN
    std::string Address() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A token of 32 random bytes in hexadecimal.
std::string NewStudioToken();

}  // namespace tb::tool
