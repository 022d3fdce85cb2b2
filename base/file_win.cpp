#include <windows.h>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "base/handle_win.hpp"

namespace tb {
namespace {

// Closes the file now: a close that fails means the bytes may not all be written.
bool CloseNow(UniqueFile& file) { return CloseHandle(file.Release()) != FALSE; }

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

void WriteTo(const std::string& path, const std::string& message_path, std::string_view bytes, DWORD flags) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, flags, nullptr));
    if (!file) {
        throw FileCreateError(CannotCreateMessage(message_path, static_cast<int>(GetLastError())));
    }
    if (!WriteAll(file.Get(), bytes) || !CloseNow(file)) {
        throw FileCreateError(CannotCreateMessage(message_path, static_cast<int>(GetLastError())));
    }
}

// Another reader or writer of the same file (a toolbar window on another thread) may hold it open
// for a moment: a sharing conflict is tried again for up to two seconds before it counts.
bool MomentaryConflict(DWORD error, DWORD started) {
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return false;
    if (GetTickCount() - started > 2000) return false;
    Sleep(10);
    return true;
}

}  // namespace

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const DWORD started = GetTickCount();
    UniqueFile file;
    DWORD error = ERROR_SUCCESS;
    do {
        file = UniqueFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        error = file ? ERROR_SUCCESS : GetLastError();
    } while (!file && error == ERROR_SHARING_VIOLATION && MomentaryConflict(error, started));
    if (!file) {
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
        throw FileOpenError(CannotOpenMessage(path, static_cast<int>(error)));
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr)) {
            throw FileOpenError(CannotOpenMessage(path, static_cast<int>(GetLastError())));
        }
        if (read == 0) break;
        content.append(buffer, read);
    }
    return content;
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
    WriteTo(path, path, bytes, FILE_ATTRIBUTE_NORMAL);
}

void ReplaceFileContent(const std::string& path, std::string_view bytes) {
    // Per thread: toolbar windows of one browser process run on threads of their own.
    const std::string temp =
        path + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetCurrentThreadId());
    try {
        WriteTo(temp, path, bytes, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH);
    } catch (...) {
        DeleteFileA(temp.c_str());
        throw;
    }
    const DWORD started = GetTickCount();
    while (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        if (MomentaryConflict(error, started)) continue;
        DeleteFileA(temp.c_str());
        throw FileCreateError(CannotCreateMessage(path, static_cast<int>(error)));
    }
}

bool CreateOneDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != FALSE; }
bool DeleteOneFile(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }
bool RenameOneFile(const std::string& from, const std::string& to) {
    return MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

}  // namespace tb
