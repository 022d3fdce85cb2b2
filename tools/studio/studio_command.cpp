#include "tools/studio/studio_command.hpp"

#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <thread>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "tools/cli.hpp"
#include "tools/new_toolbar.hpp"
#include "tools/studio/studio_server.hpp"

extern char** environ;

namespace tb::tool {

namespace {

namespace fs = std::filesystem;

constexpr const char* kNewToolbarName = "My Toolbar";

// A folder for a new toolbar that does not exist yet: MyToolbar, MyToolbar2, ...
std::string FreeFolder(const std::string& base) {
    for (int n = 1;; ++n) {
        const std::string folder = n == 1 ? base : base + std::to_string(n);
        std::error_code error;
        if (!fs::exists(folder, error)) return folder;
    }
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string_view rest(path);
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const fs::path candidate = fs::path(std::string(rest.substr(0, colon))) / program;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return false;
}

// Opens the address in the desktop's browser where there is a desktop; says so either way.
void OpenBrowser(const std::string& address, std::ostream& out) {
    const bool desktop = std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
    if (!desktop || !OnPath("xdg-open")) {
        out << "open that address in your browser\n";
        return;
    }
    std::string program = "xdg-open";
    char* argv[] = {program.data(), const_cast<char*>(address.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) {
        out << "open that address in your browser\n";
    }
}

// The port a source is served on when none is given: the same for the same source from run to run,
// because the page keeps unsaved edits in the browser per address (scheme, host and port), so a
// studio started again on that source finds them.
int PreferredPort(const std::string& source_file) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (const unsigned char c : source_file) hash = (hash ^ c) * 16777619u;
    return 20000 + static_cast<int>(hash % 10000);
}

}  // namespace

int StudioCommand(const StudioOptions& options, std::ostream& out, std::ostream& err) {
    std::string source = options.source.value_or(std::string());
    if (source.empty()) {
        const std::string folder = FreeFolder(BaseNameFor(kNewToolbarName));
        if (NewCommand(kNewToolbarName, folder, out, err) != kExitOk) return kExitFindings;
        source = (fs::path(folder) / (BaseNameFor(kNewToolbarName) + ".json")).string();
    }
    if (!FileExists(source)) throw Error(source + ": no such file");
    StudioSettings settings;
    settings.source_file = fs::absolute(source).lexically_normal().string();
    settings.output_dir = (fs::path(settings.source_file).parent_path() / "out").string();
    settings.allowed_folders = options.allowed_folders;
    settings.token = NewStudioToken();
#ifdef TB_PREVIEW_SCRIPT
    if (::access(TB_PREVIEW_SCRIPT, X_OK) == 0) settings.preview_script = TB_PREVIEW_SCRIPT;
#endif

    // The signals end the server from a thread of their own, so every thread the server starts
    // leaves them blocked.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    StudioServer server(settings);
    if (options.port != 0) {
        server.Bind(options.port);
    } else {
        try {
            server.Bind(PreferredPort(settings.source_file));
        } catch (const Error&) {
            server.Bind(0);  // taken: any free port (unsaved edits of an earlier run then stay hidden)
        }
    }
    out << server.Address() << "\n"
        << "the studio edits " << settings.source_file << "; Build writes " << settings.output_dir
        << "; Ctrl+C stops it\n";
    if (options.open_browser) OpenBrowser(server.Address(), out);
    out.flush();

    std::thread watcher([&server, stop_signals] {
        int signal = 0;
        sigwait(&stop_signals, &signal);
        server.Stop();
    });
    server.Run();
    ::kill(::getpid(), SIGTERM);  // ends the watcher when the server stopped on its own
    watcher.join();
    out << "the studio stopped\n";
    return kExitOk;
}

}  // namespace tb::tool
