#include "settings/big_ini_file.hpp"

#include <optional>
#include <unordered_set>
#include <utility>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "base/text.hpp"

namespace tb {
namespace {

constexpr char kCtrlZ = '\x1A';

bool SameName(std::string_view a, std::string_view b) { return EqualsIgnoreAsciiCase(a, b); }

std::string UpperName(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) c = AsciiUpper(c);
    return upper;
}

bool IsSectionHeader(std::string_view line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// The first line whose key (the text before its first "=") is `key`; a line without "=" never
// matches. nullptr when there is none.
std::string* FindKeyLine(std::vector<std::string>& lines, std::string_view key) {
    for (std::string& line : lines) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos && SameName(std::string_view(line).substr(0, equals), key)) return &line;
    }
    return nullptr;
}

// Calls `take` with each line of `text`, without its line break.
template <typename Take>
void ForEachLine(std::string_view text, Take take) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            take(text.substr(start));
            return;
        }
        take(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
}

}  // namespace

size_t TSectionList::Add(std::string name) {
    sections_.push_back(Section{std::move(name), {}});
    return sections_.size() - 1;
}

void TSectionList::Delete(size_t index) {
    if (index < sections_.size()) sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(index));
}

TBigIniFile::TBigIniFile(std::string file_name) : file_name_(std::move(file_name)) { Load(); }

TBigIniFile::~TBigIniFile() {
    try {
        UpdateFile();
    } catch (...) {
        // Nothing may leave a destructor; WriteIniString has already reported this failure.
    }
}

void TBigIniFile::Load() {
    sections_.Clear();
    previous_section_ = 0;
    std::optional<std::string> content;
    try {
        content = ReadWholeFile(file_name_);
    } catch (const FileOpenError& e) {
        throw InOutError(e.what());
    }
    if (!content) return;

    std::optional<size_t> current;
    ForEachLine(*content, [&](std::string_view line) {
        if (line.size() == 1 && line[0] == kCtrlZ) return;
        if (line.empty()) return;
        if (IsSectionHeader(line)) {
            current = sections_.Add(std::string(line.substr(1, line.size() - 2)));
        } else if (current) {
            sections_.Lines(*current).emplace_back(line);
        }
    });

    // Of sections with equal names the first wins; the lines of later ones are dropped.
    std::unordered_set<std::string> seen;
    for (size_t i = 0; i < sections_.Count();) {
        if (seen.insert(UpperName(sections_.Name(i))).second) {
            ++i;
        } else {
            sections_.Delete(i);
        }
    }
    changed_ = false;
}

size_t TBigIniFile::FindSection(std::string_view name) {
    const size_t count = sections_.Count();
    if (count == 0) return count;
    size_t index = previous_section_ < count ? previous_section_ : 0;
    for (size_t tried = 0; tried < count; ++tried) {
        if (SameName(sections_.Name(index), name)) {
            previous_section_ = index;
            return index;
        }
        index = (index + 1) % count;
    }
    return count;
}

std::string TBigIniFile::ReadString(std::string_view section, std::string_view key, std::string_view default_value) {
    const size_t index = FindSection(section);
    if (index == sections_.Count()) return std::string(default_value);
    const std::string* line = FindKeyLine(sections_.Lines(index), key);
    if (!line) return std::string(default_value);
    return line->substr(key.size() + 1);
}

void TBigIniFile::WriteString(std::string_view section_text, std::string_view key_text, std::string_view value_text) {
    // A line break or NUL in what is written would end the line there and start another (a section
    // header, a key of its own) when the file is read again: each stays on its one line.
    const std::string section = SingleLine(section_text);
    const std::string key = SingleLine(key_text);
    const std::string value = SingleLine(value_text);
    std::string new_line;
    new_line.reserve(key.size() + 1 + value.size());
    new_line.append(key).append("=").append(value);

    size_t index = FindSection(section);
    if (index == sections_.Count()) {
        index = sections_.Add(std::string(section));
        previous_section_ = index;
    }
    std::vector<std::string>& lines = sections_.Lines(index);
    std::string* line = FindKeyLine(lines, key);
    if (!line) {
        lines.push_back(std::move(new_line));
        changed_ = true;
    } else if (*line != new_line) {
        *line = std::move(new_line);
        changed_ = true;
    }
}

void TBigIniFile::UpdateFile() {
    if (!changed_) return;
    std::string text;
    text.reserve(text_buffer_size_);
    for (size_t i = 0; i < sections_.Count(); ++i) {
        const std::vector<std::string>& lines = sections_.Lines(i);
        if (lines.empty()) continue;
        text.append("[").append(sections_.Name(i)).append("]\r\n");
        for (const std::string& line : lines) text.append(line).append("\r\n");
        text.append("\r\n");
    }
    try {
        ReplaceFileContent(file_name_, text);
    } catch (const FileCreateError& e) {
        throw InOutError(e.what());
    }
    changed_ = false;
}

std::string ReadIniString(const std::string& file_name, const std::string& section, const std::string& key) {
    TBigIniFile ini(file_name);
    return ini.ReadString(section, key, "");
}

void WriteIniString(const std::string& file_name, const std::string& section, const std::string& key,
                    const std::string& value) {
    TBigIniFile ini(file_name);
    ini.WriteString(section, key, value);
    ini.UpdateFile();
}

}  // namespace tb
