#pragma once
// Whole-file access, the one place that talks to the file system for the portable code.
// Paths are 8-bit text: the system code page on Windows (the ANSI file functions), the bytes of the
// path natively. Both '\' and '/' separate folders on Windows; natively only '/' does.
#include <optional>
#include <string>
#include <string_view>

namespace tb {

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// The whole content of an existing file, read with others allowed to read but not write meanwhile.
// nullopt when the file does not exist; FileOpenError ("Cannot open file "%s". %s") when it exists
// but cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Creates the file or replaces its content with the bytes, in one write. FileCreateError
// ("Cannot create file "%s". %s") when it cannot be created or written; a read-only file (natively:
// one without any write permission bit) is refused as Windows refuses it.
void WriteWholeFile(const std::string& path, std::string_view bytes);

// Writes the bytes to a temporary file in the same folder, then puts it in place of the path in one
// step, so a failure part-way never leaves a truncated file behind. FileCreateError on failure (a
// read-only file included, as above); the old file is then unchanged and no temporary file is left.
void ReplaceFileContent(const std::string& path, std::string_view bytes);

// Creates one folder; false when it could not be created (it exists, no rights, missing parent).
bool CreateOneDirectory(const std::string& path);
bool DeleteOneFile(const std::string& path);
// Renames a file; false when it could not (the target exists, the source is missing, ...).
bool RenameOneFile(const std::string& from, const std::string& to);

// "Cannot open file "%s". %s" and "Cannot create file "%s". %s" with the system's text for the code.
std::string CannotOpenMessage(const std::string& path, int system_error);
std::string CannotCreateMessage(const std::string& path, int system_error);

}  // namespace tb
