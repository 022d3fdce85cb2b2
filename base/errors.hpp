#pragma once
// The system's exception types. Every failure inside the system is one of these, carrying the
// message text that the user or the caller sees; COM methods, exports and window procedures turn
// them into HRESULTs or error boxes at their boundary.
#include <exception>
#include <memory>
#include <string>

namespace tb {

// Base of every exception the system raises; the message is 8-bit text in the system code page.
// The text is shared between copies, so copying an exception never allocates or throws. (The
// standard library's exception classes with a message would do the same, but their string type
// alone costs the Windows library some 40 KB.)
class Error : public std::exception {
public:
    explicit Error(const std::string& message);
    explicit Error(const char* message);
    const char* what() const noexcept override;

private:
    std::shared_ptr<const std::string> message_;
};

// A caller passed what a function's contract refuses (an empty block to compress, a name too long
// to store): a fault of the calling code, not of the data.
class ArgumentError : public Error {
public:
    using Error::Error;
};

// Text that does not convert to the requested type ("'%s' is not a valid integer value").
class ConvertError : public Error {
public:
    using Error::Error;
};

// A file that exists but cannot be opened for reading ("Cannot open file "%s". %s").
class FileOpenError : public Error {
public:
    using Error::Error;
};

// A file that cannot be created or written ("Cannot create file "%s". %s").
class FileCreateError : public Error {
public:
    using Error::Error;
};

// Input/output failure of a text file (INI files, the search history).
class InOutError : public Error {
public:
    using Error::Error;
};

// The operating system's text for its last error code (errno on Linux, GetLastError on Windows).
std::string SystemErrorMessage(int code);
int LastSystemError();

}  // namespace tb
