// The system code page on Windows: the real ANSI code page, through the platform's converters.
#include <windows.h>

#include "base/errors.hpp"
#include "base/text.hpp"

namespace tb {

std::u16string AnsiToUtf16(std::string_view ansi) {
    if (ansi.empty()) return {};
    const int size = static_cast<int>(ansi.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
    std::u16string out(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, reinterpret_cast<wchar_t*>(out.data()), needed);
    return out;
}

std::string Utf16ToAnsi(std::u16string_view utf16) {
    if (utf16.empty()) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(utf16.data());
    const int size = static_cast<int>(utf16.size());
    const int needed = WideCharToMultiByte(CP_ACP, 0, wide, size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, size, out.data(), needed, nullptr, nullptr);
    return out;
}

std::string SystemErrorMessage(int code) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length ? std::string(buffer, length) : "System error " + std::to_string(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

int LastSystemError() { return static_cast<int>(GetLastError()); }

}  // namespace tb
