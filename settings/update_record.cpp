#include "settings/update_record.hpp"

namespace tb {
namespace {

constexpr size_t kFieldLimit = 512;

std::string Printable(std::string_view text, size_t limit) {
    std::string out;
    for (const char c : text.substr(0, limit)) out += (c >= 0x20 && c <= 0x7e) ? c : '?';
    if (text.size() > limit) out += "...";
    return out;
}

bool IsCleanField(std::string_view field) {
    if (field.size() > kFieldLimit) return false;
    for (const char c : field) {
        if (c < 0x20 || c > 0x7e) return false;
    }
    return true;
}

}  // namespace

std::string UpdateLogLine(std::string_view utc_time, std::string_view address, std::string_view outcome) {
    return Printable(utc_time, 32) + " " + Printable(address, 300) + " " + Printable(outcome, 300) + "\n";
}

std::vector<SavedValidators> ParseUpdateState(std::string_view text) {
    std::vector<SavedValidators> entries;
    text = text.substr(0, kUpdateStateSizeLimit);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos) break;  // a line cut off at the limit is not taken
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        const size_t first = line.find('\t');
        const size_t second = first == std::string_view::npos ? first : line.find('\t', first + 1);
        if (second == std::string_view::npos || line.find('\t', second + 1) != std::string_view::npos) continue;
        const std::string_view url = line.substr(0, first);
        const std::string_view etag = line.substr(first + 1, second - first - 1);
        const std::string_view modified = line.substr(second + 1);
        if (url.empty() || !IsCleanField(url) || !IsCleanField(etag) || !IsCleanField(modified)) continue;
        entries.push_back({std::string(url), {std::string(etag), std::string(modified)}});
    }
    return entries;
}

std::string FormatUpdateState(const std::vector<SavedValidators>& entries) {
    std::string text;
    for (const SavedValidators& e : entries) {
        if (!IsCleanField(e.url) || !IsCleanField(e.validators.etag) || !IsCleanField(e.validators.last_modified) ||
            e.url.find('\t') != std::string::npos || e.validators.etag.find('\t') != std::string::npos ||
            e.validators.last_modified.find('\t') != std::string::npos) {
            continue;
        }
        text += e.url + "\t" + e.validators.etag + "\t" + e.validators.last_modified + "\n";
    }
    return text;
}

Validators FindValidators(const std::vector<SavedValidators>& entries, std::string_view url) {
    for (const SavedValidators& e : entries) {
        if (e.url == url) return e.validators;
    }
    return {};
}

std::vector<SavedValidators> WithValidators(std::vector<SavedValidators> entries, const std::string& url,
                                            const Validators& validators) {
    std::erase_if(entries, [&url](const SavedValidators& e) { return e.url == url; });
    if (!validators.etag.empty() || !validators.last_modified.empty()) entries.push_back({url, validators});
    return entries;
}

}  // namespace tb
