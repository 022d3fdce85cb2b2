#include "tools/json_text.hpp"

#include <algorithm>

#include "base/text.hpp"

namespace tb::tool {

namespace {

std::string TypeWord(const Json& value) {
    if (value.is_null()) return "null";
    if (value.is_boolean()) return "a boolean";
    if (value.is_number()) return "a number";
    if (value.is_string()) return "a string";
    if (value.is_array()) return "an array";
    return "an object";
}

}  // namespace

std::string FieldPath(const std::string& where, std::string_view field) {
    return where.empty() ? std::string(field) : where + "." + std::string(field);
}

std::string IndexPath(const std::string& where, size_t index) {
    return where + "[" + std::to_string(index) + "]";
}

std::string HexEncode(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

std::string HexDecode(std::string_view hex, const std::string& where) {
    std::string out;
    out.reserve(hex.size() / 2);
    size_t i = 0;
    while (i < hex.size()) {
        const char c = hex[i];
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            ++i;
            continue;
        }
        const int high = HexDigitValue(c);
        const int low = i + 1 < hex.size() ? HexDigitValue(hex[i + 1]) : -1;
        if (high < 0 || low < 0) {
            throw JsonError(where + ": \"hex\" must hold pairs of hexadecimal digits (at character " +
                            std::to_string(i + 1) + ")");
        }
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return out;
}

Json BytesToJson(std::string_view bytes) {
    if (Utf8ToUtf16(bytes)) return Json(std::string(bytes));
    Json object = Json::object();
    object["hex"] = HexEncode(bytes);
    return object;
}

std::string BytesFromJson(const Json& value, const std::string& where) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_object() && value.size() == 1 && value.contains("hex") && value["hex"].is_string()) {
        return HexDecode(value["hex"].get_ref<const std::string&>(), FieldPath(where, "hex"));
    }
    throw JsonError(where + ": expected a string or {\"hex\": \"...\"}, found " + TypeWord(value));
}

std::string LineJsonText(const Json& document) {
    if (!document.is_object()) return document.dump() + "\n";
    std::string text = "{";
    bool first_field = true;
    for (const auto& [field, value] : document.items()) {
        text += first_field ? "\n  " : ",\n  ";
        first_field = false;
        text += Json(field).dump() + ": ";
        if (value.is_array() && !value.empty()) {
            text += "[";
            for (size_t i = 0; i < value.size(); ++i) text += (i == 0 ? "\n    " : ",\n    ") + value[i].dump();
            text += "\n  ]";
        } else if (value.is_object() && !value.empty()) {
            text += "{";
            bool first = true;
            for (const auto& [inner, inner_value] : value.items()) {
                text += (first ? "\n    " : ",\n    ") + Json(inner).dump() + ": " + inner_value.dump();
                first = false;
            }
            text += "\n  }";
        } else {
            text += value.dump();
        }
    }
    return text + "\n}\n";
}

Json ParseJson(std::string_view text, const std::string& file_name) {
    try {
        return Json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        // The library's message starts with its own prefix; keep only the description.
        std::string what = e.what();
        const auto pos = what.find("parse error");
        throw JsonError(file_name + ": not valid JSON: " + (pos == std::string::npos ? what : what.substr(pos)));
    }
}

const Json& RequireField(const Json& object, std::string_view field, const std::string& where) {
    const Json* found = OptionalField(object, field, where);
    if (found == nullptr) throw JsonError(where + ": the field \"" + std::string(field) + "\" is missing");
    return *found;
}

const Json* OptionalField(const Json& object, std::string_view field, const std::string& where) {
    RequireObject(object, where);
    const auto it = object.find(field);
    return it == object.end() ? nullptr : &*it;
}

std::string RequireString(const Json& value, const std::string& where) {
    if (!value.is_string()) throw JsonError(where + ": expected a string, found " + TypeWord(value));
    return value.get<std::string>();
}

int64_t RequireInteger(const Json& value, int64_t min, int64_t max, const std::string& where) {
    if (!value.is_number_integer()) throw JsonError(where + ": expected an integer, found " + TypeWord(value));
    int64_t n;
    if (value.is_number_unsigned()) {
        const uint64_t u = value.get<uint64_t>();
        if (u > static_cast<uint64_t>(INT64_MAX)) {
            throw JsonError(where + ": " + std::to_string(u) + " is out of range");
        }
        n = static_cast<int64_t>(u);
    } else {
        n = value.get<int64_t>();
    }
    if (n < min || n > max) {
        throw JsonError(where + ": " + std::to_string(n) + " is out of range (" + std::to_string(min) + " to " +
                        std::to_string(max) + ")");
    }
    return n;
}

bool RequireBool(const Json& value, const std::string& where) {
    if (!value.is_boolean()) throw JsonError(where + ": expected true or false, found " + TypeWord(value));
    return value.get<bool>();
}

void RequireObject(const Json& value, const std::string& where) {
    if (!value.is_object()) throw JsonError((where.empty() ? "the document" : where) + ": expected an object, found " + TypeWord(value));
}

void RequireArray(const Json& value, const std::string& where) {
    if (!value.is_array()) throw JsonError(where + ": expected an array, found " + TypeWord(value));
}

void RejectUnknownFields(const Json& object, std::initializer_list<std::string_view> allowed,
                         const std::string& where) {
    RequireObject(object, where);
    for (const auto& [name, value] : object.items()) {
        if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
            throw JsonError(FieldPath(where, name) + ": unknown field");
        }
    }
}

}  // namespace tb::tool
