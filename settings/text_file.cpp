#include "settings/text_file.hpp"

#include "base/text.hpp"

namespace tb {
namespace {

enum class Mark { kUtf16Le, kUtf16Be, kUtf8, kNone };

Mark MarkOf(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE")) return Mark::kUtf16Le;
    if (bytes.starts_with("\xFE\xFF")) return Mark::kUtf16Be;
    if (bytes.starts_with("\xEF\xBB\xBF")) return Mark::kUtf8;
    return Mark::kNone;
}

// UTF-16 code units from byte pairs; a last odd byte is half a character and is dropped.
std::u16string Utf16FromBytes(std::string_view bytes, bool big_endian) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        text += static_cast<char16_t>(big_endian ? (first << 8) | second : (second << 8) | first);
    }
    return text;
}

std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
    std::vector<std::u16string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
        lines.push_back(text.substr(start, end - start));
        if (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n') ++end;
        start = end + 1;
    }
    return lines;
}

std::u16string WithoutNul(std::u16string line) {
    std::erase(line, u'\0');
    return line;
}

std::u16string DecodeUtf8Line(std::string_view line) {
    if (auto text = Utf8ToUtf16(line)) return *text;
    return AnsiToUtf16(line);
}

}  // namespace

std::u16string DecodeMarkedText(std::string_view bytes) {
    switch (MarkOf(bytes)) {
        case Mark::kUtf16Le: return Utf16FromBytes(bytes.substr(2), false);
        case Mark::kUtf16Be: return Utf16FromBytes(bytes.substr(2), true);
        case Mark::kUtf8: {
            std::u16string text;
            const std::string_view body = bytes.substr(3);
            if (auto whole = Utf8ToUtf16(body)) return *whole;
            // Not valid UTF-8 as a whole: decode line by line so that only the bad lines fall back to
            // the code page. CR and LF are single bytes in UTF-8, never inside a longer sequence.
            size_t start = 0;
            while (start <= body.size()) {
                size_t end = body.find_first_of("\r\n", start);
                if (end == std::string_view::npos) end = body.size();
                text += DecodeUtf8Line(body.substr(start, end - start));
                if (end == body.size()) break;
                text += static_cast<char16_t>(body[end]);
                start = end + 1;
            }
            return text;
        }
        case Mark::kNone: return AnsiToUtf16(bytes);
    }
    return {};
}

std::vector<std::u16string> ReadTextLines(std::string_view bytes) {
    std::vector<std::u16string> lines;
    const std::u16string text = DecodeMarkedText(bytes);
    for (const std::u16string_view line : SplitLines(text)) lines.push_back(WithoutNul(std::u16string(line)));
    return lines;
}

std::string WriteTextLines(const std::vector<std::u16string>& lines) {
    std::string bytes = "\xFF\xFE";
    auto put = [&bytes](char16_t unit) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    };
    for (const std::u16string& line : lines) {
        // An entry holding a line break would come back as two entries.
        for (const char16_t unit : SingleLine(line)) put(unit);
        put(u'\r');
        put(u'\n');
    }
    return bytes;
}

}  // namespace tb
