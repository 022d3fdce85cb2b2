#pragma once
// Registry and process helpers for the registration tests: programs run as a user would run them
// (regsvr32, reg), values read back, and copies of a library with a template of their own.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/support/template_file.hpp"

namespace tb::testing_support {

namespace fs = std::filesystem;

struct ProgramRun {
    DWORD exit_code = 0xFFFFFFFF;
    std::string output;
};

// Runs a command line (program of the Windows folder or a full path) and collects its output.
inline ProgramRun RunProgram(const std::wstring& command_line) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return run;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring line = command_line;
    const BOOL started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(write_end);
    if (started) {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(read_end, buffer, sizeof buffer, &read, nullptr) && read > 0) run.output.append(buffer, read);
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.exit_code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(read_end);
    return run;
}

// `reg query KEY [/s]`: exit code 0 and the listing, or 1 when the key is missing.
inline ProgramRun RegQuery(const std::string& key, bool subkeys = true) {
    return RunProgram(L"reg.exe query \"" + std::wstring(key.begin(), key.end()) + L"\"" + (subkeys ? L" /s" : L""));
}

// A string value, or nullopt when the key or value is missing or no string.
inline std::optional<std::string> ReadString(HKEY root, const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return std::string(buffer);
}

// Whether the key exists, in the process's own registry view or the one named (KEY_WOW64_32KEY...).
inline bool KeyExists(HKEY root, const std::string& path, REGSAM view = 0) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

inline void SetString(HKEY root, const std::string& path, const char* name, const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

// Deletes the key with everything in it.
inline void DeleteTree(HKEY root, const std::string& path) { RegDeleteTreeA(root, path.c_str()); }

inline void DeleteValue(HKEY root, const std::string& path, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
}

inline std::string PathUtf8(const fs::path& path) { return Utf16ToUtf8(FromWide(path.wstring())); }

inline fs::path LongPath(const fs::path& path) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
    return length ? fs::path(std::wstring(buffer, length)) : path;
}

// The toolbar data folder of a library name (LocalLow\<name>).
inline fs::path DataFolderOf(const std::wstring& base_name) {
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return fs::path(std::wstring(buffer) + L"Low") / base_name;
}

// Copies of a library under other names, each with a template of its own; removed afterwards.
class LibraryCopies {
public:
    LibraryCopies() = default;
    LibraryCopies(const LibraryCopies&) = delete;
    LibraryCopies& operator=(const LibraryCopies&) = delete;
    ~LibraryCopies() {
        std::error_code ignored;
        for (const fs::path& made : made_) fs::remove_all(made, ignored);
    }

    // <the test's temporary folder>\<folder>\<base_name>.dll, a copy of `source`, with the template
    // file that `fill` writes (none when empty). Returns the copy's long path.
    fs::path Make(const std::string& source, const std::wstring& folder, const std::wstring& base_name,
                  const std::function<void(TrsStorage&)>& fill) {
        const fs::path target_folder = fs::path(temp_.Folder()) / folder;
        fs::create_directories(target_folder);
        const fs::path target = target_folder / (base_name + L".dll");
        fs::copy_file(fs::path(source), target, fs::copy_options::overwrite_existing);
        const fs::path data = DataFolderOf(base_name);
        std::error_code ignored;
        fs::remove_all(data, ignored);
        made_.push_back(data);
        if (fill) {
            fs::create_directories(data);
            WriteTemplateFile(PathUtf8(data / (base_name + L".tb")), fill);
        }
        return LongPath(target);
    }

    // The test's temporary folder, which holds the copies: a test puts files of its own there too
    // (a second TempFolder in the same test would name the same folder).
    const std::string& Folder() const { return temp_.Folder(); }

private:
    testing_support::TempFolder temp_;
    std::vector<fs::path> made_;  // the data folders
};

}  // namespace tb::testing_support
