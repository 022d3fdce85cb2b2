#include "tools/dump_format.hpp"

#include <cmath>
#include <cstring>
#include <limits>

#include "base/little_endian.hpp"

namespace tb::tool {

namespace {

constexpr const char* kKindNames[] = {"empty", "string", "binary",  "integer", "float", "currency",
                                      "datetime", "boolean", "point", "int64", "raw32"};

// A fixed payload of 4 or 8 bytes, whose size the caller has checked.
uint64_t ReadLe(std::string_view bytes, size_t offset, size_t size) {
    return size == 8 ? LoadU64(bytes.data() + offset) : LoadU32(bytes.data() + offset);
}

std::string WriteLe(uint64_t value, size_t size) {
    std::string out;
    if (size == 8) {
        AppendU64(out, value);
    } else {
        AppendU32(out, static_cast<uint32_t>(value));
    }
    return out;
}

int32_t AsInt32(uint64_t bits) { return static_cast<int32_t>(static_cast<uint32_t>(bits)); }
int64_t AsInt64(uint64_t bits) { return static_cast<int64_t>(bits); }

double AsDouble(uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

uint64_t DoubleBits(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

std::string CurrencyText(int64_t value) {
    const bool negative = value < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string text;
    if (negative) text.push_back('-');
    text += std::to_string(magnitude / 10000);
    // The four decimals, with the zeros at the end left out.
    uint64_t decimals = magnitude % 10000;
    if (decimals != 0) {
        text.push_back('.');
        for (uint64_t unit = 1000; unit > 0 && decimals != 0; unit /= 10) {
            text.push_back(static_cast<char>('0' + decimals / unit));
            decimals %= unit;
        }
    }
    return text;
}

int64_t ParseCurrency(const std::string& text, const std::string& where) {
    const auto fail = [&](const char* why) -> int64_t {
        throw JsonError(where + ": \"" + text + "\" " + why);
    };
    constexpr const char* kNotAmount = "is not a currency amount (digits, at most four decimals)";
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++i;
    // The magnitude in ten-thousandths may reach 2^63 for a negative amount.
    constexpr uint64_t kLimit = static_cast<uint64_t>(1) << 63;
    uint64_t whole = 0;
    size_t whole_digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++whole_digits) {
        if (whole > kLimit / 100000) return fail("is out of range");
        whole = whole * 10 + static_cast<unsigned>(text[i] - '0');
    }
    if (whole_digits == 0) return fail(kNotAmount);
    uint64_t fraction = 0;
    size_t decimals = 0;
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (++decimals > 4) return fail(kNotAmount);
            fraction = fraction * 10 + static_cast<unsigned>(text[i] - '0');
        }
        if (decimals == 0) return fail(kNotAmount);
    }
    if (i != text.size()) return fail(kNotAmount);
    for (; decimals < 4; ++decimals) fraction *= 10;
    if (whole > (kLimit - fraction) / 10000) return fail("is out of range");
    const uint64_t magnitude = whole * 10000 + fraction;
    if (magnitude > (negative ? kLimit : kLimit - 1)) return fail("is out of range");
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

Json FloatToJson(uint64_t bits) {
    const double d = AsDouble(bits);
    if (std::isfinite(d)) return Json(d);
    Json object = Json::object();
    object["hex"] = HexEncode(WriteLe(bits, 8));
    return object;
}

uint64_t FloatFromJson(const Json& value, const std::string& where) {
    if (value.is_number()) return DoubleBits(value.get<double>());
    if (value.is_object()) {
        const std::string bytes = BytesFromJson(value, where);
        if (bytes.size() != 8) throw JsonError(where + ": \"hex\" must hold 8 bytes");
        return ReadLe(bytes, 0, 8);
    }
    throw JsonError(where + ": expected a number or {\"hex\": \"...\"}");
}

Json ValueToJson(const RawKey& key) {
    const std::string& p = key.payload;
    switch (key.kind) {
        case kKindString:
            return BytesToJson(p);
        case kKindBinary: {
            Json object = Json::object();
            object["hex"] = HexEncode(p);
            return object;
        }
        case kKindInteger:
        case kKindRaw32:
            return AsInt32(ReadLe(p, 0, 4));
        case kKindInt64:
            return AsInt64(ReadLe(p, 0, 8));
        case kKindBoolean: {
            const int32_t raw = AsInt32(ReadLe(p, 0, 4));
            if (raw == 0 || raw == 1) return Json(raw == 1);
            return Json(raw);
        }
        case kKindFloat:
        case kKindDateTime:
            return FloatToJson(ReadLe(p, 0, 8));
        case kKindCurrency:
            return CurrencyText(AsInt64(ReadLe(p, 0, 8)));
        case kKindPoint:
            return Json::array({AsInt32(ReadLe(p, 0, 4)), AsInt32(ReadLe(p, 4, 4))});
        default:
            return nullptr;
    }
}

}  // namespace

std::string PayloadFromJson(uint16_t kind, const Json& value, const std::string& where) {
    switch (kind) {
        case kKindString:
        case kKindBinary:
            return BytesFromJson(value, where);
        case kKindInteger:
        case kKindRaw32:
            return WriteLe(static_cast<uint32_t>(RequireInteger(value, INT32_MIN, INT32_MAX, where)), 4);
        case kKindInt64:
            return WriteLe(static_cast<uint64_t>(RequireInteger(value, INT64_MIN, INT64_MAX, where)), 8);
        case kKindBoolean:
            if (value.is_boolean()) return WriteLe(value.get<bool>() ? 1 : 0, 4);
            return WriteLe(static_cast<uint32_t>(RequireInteger(value, INT32_MIN, INT32_MAX, where)), 4);
        case kKindFloat:
        case kKindDateTime:
            return WriteLe(FloatFromJson(value, where), 8);
        case kKindCurrency:
            if (value.is_number_integer()) {
                // A whole amount may be written as a number; fractions must be text to stay exact.
                return WriteLe(static_cast<uint64_t>(ParseCurrency(std::to_string(RequireInteger(
                                                         value, INT64_MIN / 10000, INT64_MAX / 10000, where)),
                                                     where)),
                               8);
            }
            return WriteLe(static_cast<uint64_t>(ParseCurrency(RequireString(value, where), where)), 8);
        case kKindPoint: {
            RequireArray(value, where);
            if (value.size() != 2) throw JsonError(where + ": a point is [x, y]");
            const auto x = RequireInteger(value[0], INT32_MIN, INT32_MAX, IndexPath(where, 0));
            const auto y = RequireInteger(value[1], INT32_MIN, INT32_MAX, IndexPath(where, 1));
            return WriteLe(static_cast<uint32_t>(x), 4) + WriteLe(static_cast<uint32_t>(y), 4);
        }
        default:
            return {};
    }
}

uint16_t KindFromJson(const Json& value, const std::string& where) {
    if (value.is_number_integer()) return static_cast<uint16_t>(RequireInteger(value, 0, 65535, where));
    const std::string name = RequireString(value, where);
    for (uint16_t code = 0; code < std::size(kKindNames); ++code) {
        if (name == kKindNames[code]) return code;
    }
    throw JsonError(where + ": unknown kind \"" + name + "\"");
}

std::string KindName(uint16_t kind) { return kind < std::size(kKindNames) ? kKindNames[kind] : ""; }

Json DumpToJson(const RawTables& tables) {
    Json document = Json::object();
    document["format"] = kDumpFormat;
    document["version"] = tables.version;
    Json sections = Json::array();
    for (const RawSection& s : tables.sections) {
        Json entry = Json::object();
        entry["id"] = s.id;
        entry["parent"] = s.parent;
        entry["name"] = BytesToJson(s.name);
        sections.push_back(std::move(entry));
    }
    document["sections"] = std::move(sections);
    Json keys = Json::array();
    for (const RawKey& k : tables.keys) {
        Json entry = Json::object();
        entry["section"] = k.section;
        entry["name"] = BytesToJson(k.name);
        const std::string name = KindName(k.kind);
        if (name.empty()) {
            entry["kind"] = k.kind;
        } else {
            entry["kind"] = name;
        }
        if (k.kind != kKindEmpty && !name.empty()) entry["value"] = ValueToJson(k);
        keys.push_back(std::move(entry));
    }
    document["keys"] = std::move(keys);
    return document;
}

RawTables DumpFromJson(const Json& document) {
    RejectUnknownFields(document, {"format", "version", "sections", "keys"}, "");
    const std::string format = RequireString(RequireField(document, "format", ""), "format");
    if (format != kDumpFormat) {
        throw JsonError("format: \"" + format + "\" is not a dump of this tool (\"" + kDumpFormat + "\")");
    }
    RawTables tables;
    if (const Json* version = OptionalField(document, "version", "")) {
        tables.version = static_cast<int>(RequireInteger(*version, -256, 256, "version"));
    }
    const Json& sections = RequireField(document, "sections", "");
    RequireArray(sections, "sections");
    for (size_t i = 0; i < sections.size(); ++i) {
        const std::string where = IndexPath("sections", i);
        RejectUnknownFields(sections[i], {"id", "parent", "name"}, where);
        RawSection s;
        s.id = static_cast<int32_t>(RequireInteger(RequireField(sections[i], "id", where), 0, 65535, FieldPath(where, "id")));
        s.parent = static_cast<int32_t>(
            RequireInteger(RequireField(sections[i], "parent", where), 0, 65535, FieldPath(where, "parent")));
        s.name = BytesFromJson(RequireField(sections[i], "name", where), FieldPath(where, "name"));
        tables.sections.push_back(std::move(s));
    }
    const Json& keys = RequireField(document, "keys", "");
    RequireArray(keys, "keys");
    for (size_t i = 0; i < keys.size(); ++i) {
        const std::string where = IndexPath("keys", i);
        RejectUnknownFields(keys[i], {"section", "name", "kind", "value"}, where);
        RawKey k;
        k.section = static_cast<int32_t>(
            RequireInteger(RequireField(keys[i], "section", where), 0, 65535, FieldPath(where, "section")));
        k.name = BytesFromJson(RequireField(keys[i], "name", where), FieldPath(where, "name"));
        k.kind = KindFromJson(RequireField(keys[i], "kind", where), FieldPath(where, "kind"));
        const Json* value = OptionalField(keys[i], "value", where);
        const bool has_payload = k.kind >= kKindString && k.kind <= kKindRaw32;
        if (has_payload && value == nullptr) {
            throw JsonError(where + ": a key of kind \"" + KindName(k.kind) + "\" needs a \"value\"");
        }
        if (!has_payload && value != nullptr) {
            throw JsonError(FieldPath(where, "value") + ": a key of this kind holds no value");
        }
        if (value != nullptr) k.payload = PayloadFromJson(k.kind, *value, FieldPath(where, "value"));
        tables.keys.push_back(std::move(k));
    }
    return tables;
}

}  // namespace tb::tool
