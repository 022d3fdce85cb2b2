#pragma once
// The library's start-up on Windows: which branded toolbar this library is (from its own file
// name), where its data folder lies, what the template file and the bar's registry key say.
//
// Nothing here may run inside DllMain: shell parsing, COM and the registry are forbidden under the
// loader lock. DllMain only records the module; every export calls EnsureStartupSettings() first,
// before the class factory is created.
#include <windows.h>

#include <string>
#include <string_view>

#include "settings/startup.hpp"

namespace tb {

// The shell's folder number of the per-user local application data folder.
inline constexpr int kLocalAppDataFolder = 28;

// The path of the shell's special folder with that number, as 8-bit text; `create` asks the shell
// to create it when missing. Empty text when the shell has no such folder.
std::string GetSpecialFolderPath(int folder, bool create);

// The path as the shell's desktop folder parses it and gives it back as a file-system path: short
// 8.3 names become long ones. Empty text when the desktop folder cannot be had or parsing fails.
std::u16string ResolvePathThroughShell(std::u16string_view path);

// The full, shell-resolved file name of this library's module (not of the host process), or of the
// given module.
std::u16string GetModulePath();
std::u16string GetModulePath(HMODULE module);

// The folder of GetModulePath() without a trailing "\".
std::u16string GetModuleFolder();

// The value under root\key_path, read through the 8-bit registry interface: strings decoded from
// UTF-8, 32-bit integers as integers, binary values as text carrying every byte. Any problem
// (missing key or value, another type, a short read) gives empty text; it never fails.
RegistryValue ReadRegistryValue(HKEY root, std::u16string_view key_path, std::u16string_view value_name);

// Fills the start-up group of ToolbarSettings for this library, or for `module` as if it were this
// library (tests load a renamed copy of the library and look at the result). Creates the data
// folder when missing; reads the template file, never writes it. A library that carries a template
// (`tbtool brand`) takes its class id and bar key from that template, whatever the data folder
// holds. Missing files, keys and values give their defaults. Storage errors of a damaged template file are raised; the record is then
// left as it was.
void LoadStartupSettings();
void LoadStartupSettings(HMODULE module);
// The library the settings were last loaded from (null before the first load): the update takes
// the publisher keys that library carries.
HMODULE StartupModule();

// Runs LoadStartupSettings() once per load of the library, however many threads call it; a call
// made while another thread is loading waits for it. When loading raised an error, the next call
// tries again. Every export calls this first.
void EnsureStartupSettings();

// Test seam: how many loads EnsureStartupSettings has begun in this process.
unsigned StartupLoadsRunForTesting();

// For a program that loaded the settings itself (the demo, tests): steps the load counter back and,
// when it reaches zero, empties the record and the cursor entry. Nothing is written. The library
// never calls it: DllMain must not take its lock, and the record goes with the library's memory.
void ReleaseStartupSettings();

}  // namespace tb
