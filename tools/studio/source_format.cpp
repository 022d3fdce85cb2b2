#include "tools/studio/source_format.hpp"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>
#include <vector>

namespace tb::tool {

namespace {

constexpr std::array<std::string_view, 8> kTopOrder{"$schema", "name", "options", "strings",
                                                    "icon_size", "logo", "items", "keys"};
constexpr std::array<std::string_view, 12> kItemOrder{"type", "name", "caption", "icon", "url", "visible",
                                                      "enabled", "tag", "group", "keys", "engines", "items"};
// A line this long or shorter holds a whole item; longer ones get a line per field.
constexpr size_t kLineWidth = 110;
// Far deeper than any source the build takes (items nest at most kMaxItemDepth levels), and
// shallow enough that writing a hostile document cannot exhaust the stack.
constexpr int kMaxDepth = 64;

}  // namespace

void RequireShallow(const Json& document) {
    std::vector<std::pair<const Json*, int>> pending{{&document, 0}};
    while (!pending.empty()) {
        const auto [value, depth] = pending.back();
        pending.pop_back();
        if (depth > kMaxDepth) throw JsonError("the source nests deeper than " + std::to_string(kMaxDepth) + " levels");
        if (value->is_structured()) {
            for (const Json& child : *value) pending.emplace_back(&child, depth + 1);
        }
    }
}

namespace {

template <size_t N>
Json Ordered(const Json& object, const std::array<std::string_view, N>& order) {
    Json out = Json::object();
    for (const std::string_view key : order) {
        if (auto it = object.find(std::string(key)); it != object.end()) out[std::string(key)] = *it;
    }
    for (const auto& [key, value] : object.items()) {
        if (!out.contains(key)) out[key] = value;
    }
    return out;
}

std::string Scalar(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::strict); }

bool HoldsContainer(const Json& value) {
    return std::any_of(value.begin(), value.end(), [](const Json& v) { return v.is_structured(); });
}

// Items (and the engines of a search box) in the item order, at any depth.
Json OrderItems(const Json& list) {
    if (!list.is_array()) return list;
    Json out = Json::array();
    for (const Json& entry : list) {
        if (!entry.is_object()) {
            out.push_back(entry);
            continue;
        }
        Json item = Ordered(entry, kItemOrder);
        for (const char* nested : {"items", "engines"}) {
            if (item.contains(nested)) item[nested] = OrderItems(item[nested]);
        }
        out.push_back(std::move(item));
    }
    return out;
}

void Write(const Json& value, int indent, std::string& out) {
    const std::string pad(static_cast<size_t>(indent) * 2, ' ');
    const std::string inner(static_cast<size_t>(indent + 1) * 2, ' ');
    if (!value.is_structured()) {
        out += Scalar(value);
        return;
    }
    if (value.empty()) {
        out += value.is_array() ? "[]" : "{}";
        return;
    }
    // An object of plain values that fits on a line stays on one line: an item, an engine.
    if (value.is_object() && !HoldsContainer(value)) {
        std::string line = "{";
        bool first = true;
        for (const auto& [key, v] : value.items()) {
            line += (first ? "" : ", ") + Scalar(Json(key)) + ": " + Scalar(v);
            first = false;
        }
        line += "}";
        if (pad.size() + line.size() <= kLineWidth) {
            out += line;
            return;
        }
    }
    out += value.is_array() ? "[\n" : "{\n";
    bool first = true;
    if (value.is_array()) {
        for (const Json& v : value) {
            out += (first ? "" : ",\n") + inner;
            Write(v, indent + 1, out);
            first = false;
        }
    } else {
        for (const auto& [key, v] : value.items()) {
            out += (first ? "" : ",\n") + inner + Scalar(Json(key)) + ": ";
            Write(v, indent + 1, out);
            first = false;
        }
    }
    out += "\n" + pad + (value.is_array() ? "]" : "}");
}

}  // namespace

std::string FormatSource(const Json& source) {
    RequireShallow(source);
    Json document = source.is_object() ? Ordered(source, kTopOrder) : source;
    if (document.is_object() && document.contains("items")) document["items"] = OrderItems(document["items"]);
    std::string out;
    Write(document, 0, out);
    out += "\n";
    return out;
}

}  // namespace tb::tool
