#pragma once
// JSON helpers shared by the tool's readers and writers: byte text that survives a trip through
// JSON, and field access that reports where in the document a value is wrong.
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "base/errors.hpp"

namespace tb::tool {

// Keys keep the order in which they were written, so the output reads in a stable order.
using Json = nlohmann::ordered_json;

// A document that is not what the tool expects; the message starts with the place ("keys[3].kind: ...").
class JsonError : public Error {
public:
    using Error::Error;
};

std::string HexEncode(std::string_view bytes);
// Two hexadecimal digits per byte, either case; blanks and line breaks between pairs are allowed.
// Throws JsonError naming `where` on anything else.
std::string HexDecode(std::string_view hex, const std::string& where);

// Byte text as JSON: a string when the bytes are well-formed UTF-8, else {"hex": "..."} so that any
// byte survives. BytesFromJson accepts both forms.
Json BytesToJson(std::string_view bytes);
std::string BytesFromJson(const Json& value, const std::string& where);

// A document as text that reads and compares line by line: each field of the top-level object on a
// line of its own, and inside it each element of an array or field of an object on its own line.
std::string LineJsonText(const Json& document);

// Parses a whole JSON document; errors name the file and the line and column.
Json ParseJson(std::string_view text, const std::string& file_name);

// Typed access with the place of the value in every message.
const Json& RequireField(const Json& object, std::string_view field, const std::string& where);
const Json* OptionalField(const Json& object, std::string_view field, const std::string& where);
std::string RequireString(const Json& value, const std::string& where);
int64_t RequireInteger(const Json& value, int64_t min, int64_t max, const std::string& where);
bool RequireBool(const Json& value, const std::string& where);
void RequireObject(const Json& value, const std::string& where);
void RequireArray(const Json& value, const std::string& where);
// Fails on any field of the object not among the allowed ones, so that a misspelt field is noticed.
void RejectUnknownFields(const Json& object, std::initializer_list<std::string_view> allowed,
                         const std::string& where);

std::string FieldPath(const std::string& where, std::string_view field);
std::string IndexPath(const std::string& where, size_t index);

}  // namespace tb::tool
