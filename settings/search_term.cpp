#include "settings/search_term.hpp"

#include "base/text.hpp"

namespace tb {
namespace {

bool StaysAsItIs(unsigned char byte) {
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')) return true;
    return std::string_view("*@._-$!'()").find(static_cast<char>(byte)) != std::string_view::npos;
}

}  // namespace

std::string EncodeSearchTerm(std::string_view term) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(term.size() * 3);
    for (const char c : term) {
        const auto byte = static_cast<unsigned char>(c);
        if (StaysAsItIs(byte)) {
            encoded += c;
        } else if (byte == ' ') {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

std::string FillSearchTemplate(std::string_view url_template, std::string_view encoded_term) {
    std::string result;
    result.reserve(url_template.size() + encoded_term.size());
    size_t i = 0;
    while (i < url_template.size()) {
        if (url_template.size() - i >= kSearchPlaceholder.size() &&
            EqualsIgnoreAsciiCase(url_template.substr(i, kSearchPlaceholder.size()), kSearchPlaceholder)) {
            result += encoded_term;
            i += kSearchPlaceholder.size();
        } else {
            result += url_template[i++];
        }
    }
    return result;
}

}  // namespace tb
