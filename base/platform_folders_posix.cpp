// Native stand-ins: the executable through /proc, /etc for the system folder, and the XDG
// configuration folder (or ~/.config) for the user's application data.
#include <unistd.h>

#include <cstdlib>

#include "base/platform_folders.hpp"

namespace tb {

std::string HostExecutablePath() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0) return {};
    path.resize(static_cast<size_t>(n));
    return path;
}

std::string WindowsFolder() { return "/etc"; }

std::string UserAppDataFolder() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') return config;
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return std::string(home) + "/.config";
    return {};
}

char PathSeparator() { return '/'; }

}  // namespace tb
