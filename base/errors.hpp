#pragma once
// The system's exception types. Every failure inside the system is one of these, carrying the
// message text that the user or the caller sees; COM methods, exports and window procedures turn
// them into HRESULTs or error boxes at their boundary.
#include <stdexcept>
#include <string>

namespace tb {

// Base of every exception the system raises; the message is 8-bit text in the system code page.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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
