#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/errors.hpp"
#include "base/file.hpp"

namespace tb {
namespace {

// Writes all bytes; false (errno set) on failure.
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Windows refuses to write or replace a file marked read-only, whoever asks; natively the
// permission bits stand in for the mark, and root would be let through by the system alone.
bool MarkedReadOnly(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        throw FileOpenError(CannotOpenMessage(path, errno));
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            throw FileOpenError(CannotOpenMessage(path, error));
        }
        if (n == 0) break;
        content.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return content;
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
    if (MarkedReadOnly(path)) throw FileCreateError(CannotCreateMessage(path, EACCES));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw FileCreateError(CannotCreateMessage(path, errno));
    if (!WriteAll(fd, bytes)) {
        const int error = errno;
        ::close(fd);
        throw FileCreateError(CannotCreateMessage(path, error));
    }
    if (::close(fd) != 0) throw FileCreateError(CannotCreateMessage(path, errno));
}

void ReplaceFileContent(const std::string& path, std::string_view bytes) {
    if (MarkedReadOnly(path)) throw FileCreateError(CannotCreateMessage(path, EACCES));
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) throw FileCreateError(CannotCreateMessage(path, errno));
    int error = 0;
    if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::chmod(temp.c_str(), 0644) != 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        throw FileCreateError(CannotCreateMessage(path, error));
    }
}

bool CreateOneDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0; }
bool DeleteOneFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RenameOneFile(const std::string& from, const std::string& to) {
    // Windows' rename fails when the target exists; keep the same rule natively.
    if (::access(to.c_str(), F_OK) == 0) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace tb
