#pragma once
// INI files of the toolbar (Settings.ini), held whole in memory and written back whole.
//
// Layout: 8-bit text in the system code page.
//   [Section]            a line that starts with "[" and ends with "]"; the name is taken as it is
//   key=value            kept verbatim: the key is the text before the first "=", the value all
//   ; other text           after it; blanks and quotes belong to them; lines without "=" are kept
//   (empty line)         written after every section
// Reading takes CR LF, LF or a lone CR as the end of a line. A line that is a single Ctrl-Z counts
// as empty; empty lines and lines before the first header are dropped; of sections with equal
// names only the first is kept. Writing puts CR LF after every line and leaves out sections that
// have no lines. Section and key names are compared without regard to ASCII letter case.
//
// Errors: a file that exists but cannot be read, and a file that cannot be written, raise
// InOutError naming the file. A missing file reads as empty. The file is rewritten through a
// temporary file in the same folder, so a failed write leaves the old file as it was.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

// The sections of an INI file in file order (not sorted), each owning its raw lines.
class TSectionList {
public:
    size_t Count() const { return sections_.size(); }
    const std::string& Name(size_t index) const { return sections_.at(index).name; }
    std::vector<std::string>& Lines(size_t index) { return sections_.at(index).lines; }
    const std::vector<std::string>& Lines(size_t index) const { return sections_.at(index).lines; }

    // Appends an empty section; returns its index.
    size_t Add(std::string name);
    void Delete(size_t index);
    void Clear() { sections_.clear(); }

private:
    struct Section {
        std::string name;
        std::vector<std::string> lines;
    };
    std::vector<Section> sections_;
};

class TBigIniFile {
public:
    // Size of the text buffer the file is read and written through, in bytes.
    static constexpr size_t kTextBufferSize = 0x7000;

    // Loads the file at once; InOutError when it exists but cannot be read.
    explicit TBigIniFile(std::string file_name);
    // Writes the file back when something changed. A failure cannot leave a destructor: callers
    // that must learn of it call UpdateFile first, as WriteIniString does.
    ~TBigIniFile();
    TBigIniFile(const TBigIniFile&) = delete;
    TBigIniFile& operator=(const TBigIniFile&) = delete;

    // The value of the key, or `default_value` when the section or the key does not exist.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view default_value);
    // Sets the key's value, creating the section and the key when missing. Only a line that
    // differs (letter case included) marks the file as changed. Section, key and value stay on one
    // line: each run of CR, LF and NUL in them is written as one blank.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Writes the whole file when something changed; InOutError when it cannot be written, and
    // the file then stays as it was.
    void UpdateFile();

    bool Changed() const { return changed_; }
    const std::string& FileName() const { return file_name_; }
    const TSectionList& Sections() const { return sections_; }

private:
    void Load();
    // Searches from the section found last, wrapping round, so that a run of accesses to the same
    // or the next section does not scan from the start. Returns Count() when there is none.
    size_t FindSection(std::string_view name);

    bool changed_ = false;
    size_t text_buffer_size_ = kTextBufferSize;
    std::string file_name_;
    size_t previous_section_ = 0;
    TSectionList sections_;
};

// One read of one key: loads the file, returns the value or empty text.
std::string ReadIniString(const std::string& file_name, const std::string& section, const std::string& key);

// One write of one key: loads the file, sets the value and rewrites the file when it changed.
void WriteIniString(const std::string& file_name, const std::string& section, const std::string& key,
                    const std::string& value);

}  // namespace tb
