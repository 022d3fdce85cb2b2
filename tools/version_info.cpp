#include "tools/version_info.hpp"

#include <string_view>

#include "base/little_endian.hpp"
#include "tools/pe_resources.hpp"

namespace tb::tool {

namespace {

constexpr int kMaxDepth = 4;

size_t Align4(size_t v) { return (v + 3) & ~size_t{3}; }

uint32_t U16At(std::string_view bytes, size_t offset) {
    return ByteReader::LoadU16(reinterpret_cast<const unsigned char*>(bytes.data() + offset));
}

void AppendU16(std::string& out, uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

// Parses the node at `offset` (relative to the resource start, which `bytes` begins with) that
// must end by `limit`.
VersionNode ParseNode(std::string_view bytes, size_t offset, size_t limit, int depth) {
    const auto refuse = [] { throw PeFormatError("damaged version resource"); };
    if (depth > kMaxDepth || offset + 6 > limit) refuse();
    const size_t length = U16At(bytes, offset);
    const size_t value_length = U16At(bytes, offset + 2);
    const uint32_t type = U16At(bytes, offset + 4);
    if (length < 6 || offset + length > limit || type > 1) refuse();
    const size_t end = offset + length;
    VersionNode node;
    node.text = type == 1;
    size_t pos = offset + 6;
    for (;;) {
        if (pos + 2 > end) refuse();
        const char16_t c = static_cast<char16_t>(U16At(bytes, pos));
        pos += 2;
        if (c == 0) break;
        node.key.push_back(c);
    }
    pos = Align4(pos);
    size_t value_bytes = node.text ? 2 * value_length : value_length;
    // Some writers count a text value in bytes: never read past the node.
    if (pos > end) pos = end;
    if (value_bytes > end - pos) {
        if (!node.text) refuse();
        value_bytes = end - pos;
    }
    node.value = std::string(bytes.substr(pos, value_bytes));
    pos = Align4(pos + value_bytes);
    while (pos + 6 <= end) {
        VersionNode child = ParseNode(bytes, pos, end, depth + 1);
        pos = Align4(pos + U16At(bytes, pos));
        node.children.push_back(std::move(child));
    }
    return node;
}

void WriteNode(const VersionNode& node, std::string& out) {
    out.resize(Align4(out.size()), '\0');
    const size_t start = out.size();
    AppendU16(out, 0);
    AppendU16(out, static_cast<uint32_t>(node.text ? node.value.size() / 2 : node.value.size()));
    AppendU16(out, node.text ? 1 : 0);
    for (char16_t c : node.key) AppendU16(out, c);
    AppendU16(out, 0);
    if (!node.value.empty()) {
        out.resize(Align4(out.size()), '\0');
        out += node.value;
    }
    for (const VersionNode& child : node.children) WriteNode(child, out);
    const size_t length = out.size() - start;
    if (length > 0xFFFF) throw PeFormatError("the version resource would be too large");
    out[start] = static_cast<char>(length & 0xFF);
    out[start + 1] = static_cast<char>(length >> 8);
}

std::string TextValue(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) AppendU16(out, c);
    AppendU16(out, 0);
    return out;
}

VersionNode* StringFileInfo(VersionNode& root) {
    for (VersionNode& child : root.children) {
        if (child.key == u"StringFileInfo") return &child;
    }
    return nullptr;
}

}  // namespace

VersionNode ParseVersionInfo(const std::string& resource) {
    VersionNode root = ParseNode(resource, 0, resource.size(), 0);
    if (root.key != u"VS_VERSION_INFO") throw PeFormatError("damaged version resource");
    return root;
}

std::string WriteVersionInfo(const VersionNode& root) {
    std::string out;
    WriteNode(root, out);
    return out;
}

std::optional<std::u16string> VersionString(const VersionNode& root, const std::u16string& name) {
    VersionNode* info = StringFileInfo(const_cast<VersionNode&>(root));
    if (info == nullptr || info->children.empty()) return std::nullopt;
    for (const VersionNode& s : info->children.front().children) {
        if (s.key != name) continue;
        std::u16string text;
        for (size_t i = 0; i + 1 < s.value.size(); i += 2) {
            const char16_t c = static_cast<char16_t>(U16At(s.value, i));
            if (c == 0) break;
            text.push_back(c);
        }
        return text;
    }
    return std::nullopt;
}

void SetVersionString(VersionNode& root, const std::u16string& name, const std::u16string& value) {
    VersionNode* info = StringFileInfo(root);
    if (info == nullptr || info->children.empty()) throw PeFormatError("the version resource has no string table");
    for (VersionNode& table : info->children) {
        bool found = false;
        for (VersionNode& s : table.children) {
            if (s.key != name) continue;
            s.text = true;
            s.value = TextValue(value);
            found = true;
        }
        if (!found) table.children.push_back({name, true, TextValue(value), {}});
    }
}

}  // namespace tb::tool
