#pragma once
// The component property stream: a list of named properties, each a value code and its data,
// ended by a 0 byte. The reader applies each property to an object as it goes (see
// property_stream.cpp for the layout); the writer produces the same form.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/errors.hpp"
#include "base/little_endian.hpp"

namespace tb {

// The reader's failures; the message is the text the caller shows ("Stream read error", ...).
class PropertyReadError : public Error {
public:
    using Error::Error;
};

enum class ValueCode : std::uint8_t {
    Null = 0,        // end of a list; as an identifier "Null"
    List = 1,        // values up to a 0
    Int8 = 2,
    Int16 = 3,
    Int32 = 4,
    Extended = 5,    // 80-bit floating point
    String = 6,      // 1-byte length + 8-bit text
    Ident = 7,       // 1-byte length + 8-bit text
    False = 8,
    True = 9,
    Binary = 10,     // 4-byte length + bytes
    Set = 11,        // identifiers up to an empty one
    LString = 12,    // 4-byte length + 8-bit text
    Nil = 13,
    Collection = 14, // items up to a 0
    Single = 15,     // 32-bit floating point
    Currency = 16,   // signed 64-bit, value x 10000
    Date = 17,       // 64-bit floating point
    WString = 18,    // 4-byte count + UTF-16 code units
    Int64 = 19,
    Utf8String = 20, // 4-byte length + UTF-8
    Double = 21,
};

// Any value, as the generic reader gives it (for tools that show a stream).
struct PropertyValue;
struct PropertyEntry;
struct CollectionItem {
    std::optional<std::int32_t> order;
    std::vector<PropertyEntry> properties;
};
struct PropertyValue {
    ValueCode code = ValueCode::Null;
    std::int64_t integer = 0;           // integer codes; currency as stored (value x 10000)
    double real = 0;                    // floating-point codes
    std::string text;                   // 8-bit text, identifiers, binary bytes, UTF-8 bytes
    std::u16string wide;                // wide text
    std::vector<std::string> set;       // set members
    std::vector<PropertyValue> list;    // list elements
    std::vector<CollectionItem> items;  // collection items
};
struct PropertyEntry {
    std::string name;
    PropertyValue value;
};

class PropertyReader;

// An object that properties can be applied to. Names are matched without regard to ASCII case.
class PersistentObject {
public:
    virtual ~PersistentObject() = default;
    // For messages: the object's own name, or its class name when it has none.
    virtual std::string DisplayName() const = 0;
    // Reads the value of the property `name` from the reader and assigns it; false when the object
    // has no property of that name (nothing is read then).
    virtual bool ReadProperty(std::string_view name, PropertyReader& reader) = 0;
    // For dotted paths: whether the object has the property `name`, and the object it holds (null
    // when the property holds no object).
    struct Member {
        bool exists = false;
        PersistentObject* object = nullptr;
    };
    virtual Member ObjectProperty(std::string_view name) {
        (void)name;
        return {};
    }
};

class PropertyReader {
public:
    explicit PropertyReader(std::string_view data) : in_(data) {}

    std::size_t Position() const { return in_.Position(); }

    // Applies properties to the object until the end-of-list byte, which it consumes.
    // Failures raise PropertyReadError; the properties read before stay applied.
    void ReadProperties(PersistentObject& target);

    // Typed reads of one value (code and data); a code the kind cannot take raises
    // "Invalid property value", data that ends early "Stream read error".
    ValueCode ReadValueCode();
    ValueCode PeekValueCode();
    std::int32_t ReadInteger();                       // codes 2, 3, 4
    std::int32_t ReadColor();                         // an integer or a colour identifier
    std::string ReadIdent();                          // codes 0, 7, 8, 9, 13
    bool ReadBoolean();                               // False or True, any case
    // The position of the identifier among names (any case).
    std::size_t ReadEnum(std::span<const std::string_view> names);
    std::vector<std::string> ReadSet();               // code 11
    std::string ReadText();                           // codes 6, 12 as they are; 18, 20 converted
    std::string ReadBinary();                         // code 10
    // Reads a collection: calls begin() before the first item (not at all for an empty one),
    // then read_item() for each item, positioned on the item's properties.
    template <typename Begin, typename ReadItem>
    void ReadCollection(Begin begin, ReadItem read_item);

    // Any value of any code, for tools.
    PropertyValue ReadValue();
    // Every property up to the end-of-list byte, for tools.
    std::vector<PropertyEntry> ReadEntries();

    // The name at the start of a property; empty at the end-of-list byte (consumed).
    std::string ReadName();

private:
    std::uint8_t Byte();
    std::string_view Take(std::size_t n);
    std::uint32_t U32();
    std::uint64_t U64();
    std::string ShortText();
    PropertyValue ReadValueAt(int depth);
    std::vector<PropertyEntry> ReadEntriesAt(int depth);
    void BeginItem();

    // Raises "Stream read error" once the reader has run out of bytes.
    void CheckRead() const;

    ByteReader in_;
};

[[noreturn]] void ThrowInvalidPropertyValue();

template <typename Begin, typename ReadItem>
void PropertyReader::ReadCollection(Begin begin, ReadItem read_item) {
    if (ReadValueCode() != ValueCode::Collection) ThrowInvalidPropertyValue();
    bool first = true;
    while (PeekValueCode() != ValueCode::Null) {
        BeginItem();
        if (first) {
            begin();
            first = false;
        }
        read_item();
    }
    ReadValueCode();  // the collection's end
}

// Builds a property stream. Integers take the shortest code that holds them.
class PropertyWriter {
public:
    void Name(std::string_view name);
    void Integer(std::int32_t value);
    void Boolean(bool value);
    void Ident(std::string_view ident);
    void Set(const std::vector<std::string_view>& members);
    void Text(std::string_view text);  // 8-bit text
    void Binary(std::string_view bytes);
    void BeginCollection();
    void BeginItem();
    void EndList();  // ends a property list, an item or a collection

    const std::string& Bytes() const { return out_; }

private:
    void Code(ValueCode code);
    void U32(std::uint32_t v);

    std::string out_;
};

}  // namespace tb
