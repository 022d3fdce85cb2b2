// Property stream (all integers little-endian):
//   stream    = property* 00
//   property  = name value
//   name      = length byte n, n bytes of 8-bit text; a dotted path ("PngImage.Data") names a
//               property of the object held by the parts before it
//   value     = value code byte, then its data:
//     00 none (end of a list)  01 values up to 00  02 int8  03 int16  04 int32
//     05 80-bit float  06 len8 + text  07 len8 + identifier  08 False  09 True
//     0A len32 + bytes  0B identifiers (len8 + text) up to an empty one  0C len32 + text
//     0D nil  0E collection  0F float32  10 currency int64  11 date float64
//     12 count32 + UTF-16 units  13 int64  14 len32 + UTF-8  15 float64
//   collection = item* 00;  item = [02|03|04 order integer] 01 property* 00
#include "iconlist/property_stream.hpp"

#include <cmath>
#include <cstring>

#include "base/text.hpp"
#include "iconlist/colors.hpp"

namespace tb {
namespace {

constexpr int kMaxNesting = 64;

[[noreturn]] void ThrowStreamReadError() { throw PropertyReadError("Stream read error"); }

std::vector<std::string_view> SplitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = path.find('.', start);
        parts.push_back(path.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) return parts;
        start = dot + 1;
    }
}

double ExtendedToDouble(const unsigned char* p) {
    std::uint64_t mantissa = 0;
    for (int i = 7; i >= 0; --i) mantissa = (mantissa << 8) | p[i];
    const int exponent = ((p[9] & 0x7F) << 8) | p[8];
    const bool negative = (p[9] & 0x80) != 0;
    double value;
    if (exponent == 0x7FFF) {
        value = (mantissa << 1) == 0 ? HUGE_VAL : std::nan("");
    } else {
        value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
    }
    return negative ? -value : value;
}

}  // namespace

void ThrowInvalidPropertyValue() { throw PropertyReadError("Invalid property value"); }

void PropertyReader::CheckRead() const {
    if (!in_.Ok()) ThrowStreamReadError();
}

std::uint8_t PropertyReader::Byte() {
    const std::uint8_t value = in_.U8();
    CheckRead();
    return value;
}

std::string_view PropertyReader::Take(std::size_t n) {
    const std::string_view part = in_.Bytes(n);
    CheckRead();
    return part;
}

std::uint32_t PropertyReader::U32() {
    const std::uint32_t value = in_.U32();
    CheckRead();
    return value;
}

std::uint64_t PropertyReader::U64() {
    const std::uint64_t value = in_.U64();
    CheckRead();
    return value;
}

std::string PropertyReader::ShortText() { return std::string(Take(Byte())); }

ValueCode PropertyReader::ReadValueCode() { return static_cast<ValueCode>(Byte()); }

ValueCode PropertyReader::PeekValueCode() {
    const auto code = static_cast<ValueCode>(in_.PeekU8());
    CheckRead();
    return code;
}

std::string PropertyReader::ReadName() { return ShortText(); }

std::int32_t PropertyReader::ReadInteger() {
    switch (ReadValueCode()) {
        case ValueCode::Int8:
            return static_cast<std::int8_t>(Byte());
        case ValueCode::Int16: {
            const std::uint16_t value = in_.U16();
            CheckRead();
            return static_cast<std::int16_t>(value);
        }
        case ValueCode::Int32:
            return static_cast<std::int32_t>(U32());
        default:
            ThrowInvalidPropertyValue();
    }
}

std::int32_t PropertyReader::ReadColor() {
    if (PeekValueCode() != ValueCode::Ident) return ReadInteger();
    const auto color = ColorFromIdent(ReadIdent());
    if (!color) ThrowInvalidPropertyValue();
    return *color;
}

std::string PropertyReader::ReadIdent() {
    switch (ReadValueCode()) {
        case ValueCode::Null:
            return "Null";
        case ValueCode::Ident:
            return ShortText();
        case ValueCode::False:
            return "False";
        case ValueCode::True:
            return "True";
        case ValueCode::Nil:
            return "nil";
        default:
            ThrowInvalidPropertyValue();
    }
}

bool PropertyReader::ReadBoolean() {
    static constexpr std::string_view kNames[] = {"False", "True"};
    return ReadEnum(kNames) == 1;
}

std::size_t PropertyReader::ReadEnum(std::span<const std::string_view> names) {
    const std::string ident = ReadIdent();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (EqualsIgnoreAsciiCase(ident, names[i])) return i;
    }
    ThrowInvalidPropertyValue();
}

std::vector<std::string> PropertyReader::ReadSet() {
    if (ReadValueCode() != ValueCode::Set) ThrowInvalidPropertyValue();
    std::vector<std::string> members;
    for (;;) {
        std::string member = ShortText();
        if (member.empty()) return members;
        members.push_back(std::move(member));
    }
}

std::string PropertyReader::ReadText() {
    switch (ReadValueCode()) {
        case ValueCode::String:
            return ShortText();
        case ValueCode::LString:
            return std::string(Take(U32()));
        case ValueCode::WString: {
            const std::uint32_t count = U32();
            if (count > in_.Remaining() / 2) ThrowStreamReadError();
            const std::string_view bytes = Take(std::size_t{count} * 2);
            std::u16string wide(count, u'\0');
            for (std::size_t i = 0; i < count; ++i) {
                wide[i] = static_cast<char16_t>(LoadU16(bytes.data() + 2 * i));
            }
            return Utf16ToAnsi(wide);
        }
        case ValueCode::Utf8String:
            return Utf16ToAnsi(DecodeUtf8(Take(U32())));
        default:
            ThrowInvalidPropertyValue();
    }
}

std::string PropertyReader::ReadBinary() {
    if (ReadValueCode() != ValueCode::Binary) ThrowInvalidPropertyValue();
    return std::string(Take(U32()));
}

void PropertyReader::BeginItem() {
    switch (PeekValueCode()) {
        case ValueCode::Int8:
        case ValueCode::Int16:
        case ValueCode::Int32:
            ReadInteger();  // the item's order number, which nothing uses
            break;
        default:
            break;
    }
    if (ReadValueCode() != ValueCode::List) ThrowInvalidPropertyValue();
}

void PropertyReader::ReadProperties(PersistentObject& target) {
    for (;;) {
        const std::string name = ReadName();
        if (name.empty()) return;
        const auto parts = SplitPath(name);
        try {
            PersistentObject* instance = &target;
            for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
                const auto member = instance->ObjectProperty(parts[i]);
                if (!member.exists) throw PropertyReadError("Property " + std::string(parts[i]) + " does not exist");
                if (member.object == nullptr) throw PropertyReadError("Invalid property path");
                instance = member.object;
            }
            if (!instance->ReadProperty(parts.back(), *this)) {
                throw PropertyReadError("Property " + std::string(parts.back()) + " does not exist");
            }
        } catch (const PropertyReadError& e) {
            // A dotted path says which object and property failed; a plain name is clear as it is.
            if (parts.size() == 1) throw;
            throw PropertyReadError("Error reading " + target.DisplayName() + "." + name + ": " + e.what());
        }
    }
}

PropertyValue PropertyReader::ReadValue() { return ReadValueAt(0); }

std::vector<PropertyEntry> PropertyReader::ReadEntries() { return ReadEntriesAt(0); }

std::vector<PropertyEntry> PropertyReader::ReadEntriesAt(int depth) {
    std::vector<PropertyEntry> entries;
    for (;;) {
        std::string name = ReadName();
        if (name.empty()) return entries;
        PropertyValue value = ReadValueAt(depth);
        entries.push_back({std::move(name), std::move(value)});
    }
}

PropertyValue PropertyReader::ReadValueAt(int depth) {
    if (depth > kMaxNesting) ThrowInvalidPropertyValue();
    PropertyValue v;
    v.code = PeekValueCode();
    switch (v.code) {
        case ValueCode::Int8:
        case ValueCode::Int16:
        case ValueCode::Int32:
            v.integer = ReadInteger();
            return v;
        case ValueCode::Null:
        case ValueCode::Ident:
        case ValueCode::False:
        case ValueCode::True:
        case ValueCode::Nil:
            v.text = ReadIdent();
            return v;
        case ValueCode::String:
        case ValueCode::LString:
            v.text = ReadText();
            return v;
        case ValueCode::Binary:
            v.text = ReadBinary();
            return v;
        case ValueCode::Set:
            v.set = ReadSet();
            return v;
        default:
            break;
    }
    ReadValueCode();
    switch (v.code) {
        case ValueCode::List:
            while (PeekValueCode() != ValueCode::Null) v.list.push_back(ReadValueAt(depth + 1));
            ReadValueCode();
            return v;
        case ValueCode::Extended:
            v.real = ExtendedToDouble(reinterpret_cast<const unsigned char*>(Take(10).data()));
            return v;
        case ValueCode::Single: {
            const std::uint32_t bits = U32();
            float f;
            std::memcpy(&f, &bits, 4);
            v.real = f;
            return v;
        }
        case ValueCode::Date:
        case ValueCode::Double: {
            const std::uint64_t bits = U64();
            std::memcpy(&v.real, &bits, 8);
            return v;
        }
        case ValueCode::Currency:
        case ValueCode::Int64:
            v.integer = static_cast<std::int64_t>(U64());
            return v;
        case ValueCode::WString: {
            const std::uint32_t count = U32();
            if (count > in_.Remaining() / 2) ThrowStreamReadError();
            const std::string_view bytes = Take(std::size_t{count} * 2);
            for (std::size_t i = 0; i < count; ++i) {
                v.wide.push_back(static_cast<char16_t>(LoadU16(bytes.data() + 2 * i)));
            }
            return v;
        }
        case ValueCode::Utf8String:
            v.text = std::string(Take(U32()));
            return v;
        case ValueCode::Collection:
            while (PeekValueCode() != ValueCode::Null) {
                CollectionItem item;
                const ValueCode first = PeekValueCode();
                if (first == ValueCode::Int8 || first == ValueCode::Int16 || first == ValueCode::Int32) {
                    item.order = ReadInteger();
                }
                if (ReadValueCode() != ValueCode::List) ThrowInvalidPropertyValue();
                item.properties = ReadEntriesAt(depth + 1);
                v.items.push_back(std::move(item));
            }
            ReadValueCode();
            return v;
        default:
            ThrowInvalidPropertyValue();
    }
}

// --- Writer ---

void PropertyWriter::Code(ValueCode code) { out_.push_back(static_cast<char>(code)); }

void PropertyWriter::U32(std::uint32_t v) { AppendU32(out_, v); }

void PropertyWriter::Name(std::string_view name) {
    if (name.empty() || name.size() > 255) throw ArgumentError("property name length");
    out_.push_back(static_cast<char>(name.size()));
    out_.append(name);
}

void PropertyWriter::Integer(std::int32_t value) {
    if (value >= -128 && value <= 127) {
        Code(ValueCode::Int8);
        out_.push_back(static_cast<char>(value));
    } else if (value >= -32768 && value <= 32767) {
        Code(ValueCode::Int16);
        AppendU16(out_, static_cast<std::uint32_t>(value));
    } else {
        Code(ValueCode::Int32);
        U32(static_cast<std::uint32_t>(value));
    }
}

void PropertyWriter::Boolean(bool value) { Code(value ? ValueCode::True : ValueCode::False); }

void PropertyWriter::Ident(std::string_view ident) {
    if (ident.empty() || ident.size() > 255) throw ArgumentError("identifier length");
    Code(ValueCode::Ident);
    out_.push_back(static_cast<char>(ident.size()));
    out_.append(ident);
}

void PropertyWriter::Set(const std::vector<std::string_view>& members) {
    Code(ValueCode::Set);
    for (const auto m : members) {
        if (m.empty() || m.size() > 255) throw ArgumentError("set member length");
        out_.push_back(static_cast<char>(m.size()));
        out_.append(m);
    }
    out_.push_back('\0');
}

void PropertyWriter::Text(std::string_view text) {
    if (text.size() <= 255) {
        Code(ValueCode::String);
        out_.push_back(static_cast<char>(text.size()));
    } else {
        Code(ValueCode::LString);
        U32(static_cast<std::uint32_t>(text.size()));
    }
    out_.append(text);
}

void PropertyWriter::Binary(std::string_view bytes) {
    Code(ValueCode::Binary);
    U32(static_cast<std::uint32_t>(bytes.size()));
    out_.append(bytes);
}

void PropertyWriter::BeginCollection() { Code(ValueCode::Collection); }

void PropertyWriter::BeginItem() { Code(ValueCode::List); }

void PropertyWriter::EndList() { Code(ValueCode::Null); }

}  // namespace tb
