#pragma once
// The folders that file names of the stream back-end are resolved against.
#include <string>

namespace tb {

// Full path of the host process's executable (not of this library).
std::string HostExecutablePath();
// The Windows folder; natively a stand-in for the system's configuration folder.
std::string WindowsFolder();
// The user's application-data folder; empty when the platform cannot give it.
std::string UserAppDataFolder();

// The separator that joins folders and names on this platform.
char PathSeparator();

}  // namespace tb
