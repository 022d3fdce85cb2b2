#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>

#include "iconlist_helpers.hpp"
#include "iconlist/property_stream.hpp"

namespace tb {
namespace {

using test::Stream;

std::string Double(double d) {
    std::string bytes(8, '\0');
    std::memcpy(bytes.data(), &d, 8);  // the machines here are little-endian, as the format is
    return bytes;
}

TEST(PropertyReader, ReadsEveryValueCode) {
    float single = 0.5f;
    std::string single_bytes(4, '\0');
    std::memcpy(single_bytes.data(), &single, 4);
    const Stream s = Stream()
                         .Name("Null").Code(0)
                         .Name("List").Code(1).Int8(1).Code(1).Code(9).Code(0).Code(0)
                         .Name("I8").Int8(-5)
                         .Name("I16").Int16(-1000)
                         .Name("I32").Int32(-100000)
                         .Name("Ext").Code(5).Raw(std::string("\0\0\0\0\0\0\0\xA0\x00\xC0", 10))
                         .Name("Str").Text("short")
                         .Name("Id").Ident("clRed")
                         .Name("F").Code(8)
                         .Name("T").Code(9)
                         .Name("Bin").Binary(std::string("\0\1\2", 3))
                         .Name("Set").Code(11).Name("a").Name("b").Code(0)
                         .Name("LStr").Code(12).U32(4).Raw("long")
                         .Name("Nil").Code(13)
                         .Name("Coll").Code(14)
                             .Int8(3).Code(1).Name("X").Int8(1).End()
                             .Code(1).End()
                             .Int16(300).Code(1).End()
                             .Int32(70000).Code(1).End()
                             .End()
                         .Name("Single").Code(15).Raw(single_bytes)
                         .Name("Cur").Code(16).U32(25000).U32(0)
                         .Name("Date").Code(17).Raw(Double(36526.5))
                         .Name("Wide").Code(18).U32(2).U16(0x20AC).U16('!')
                         .Name("I64").Code(19).U32(0).U32(1)
                         .Name("Utf8").Code(20).U32(2).Raw("\xC3\xA9")
                         .Name("Dbl").Code(21).Raw(Double(-0.25))
                         .End();
    PropertyReader reader(s.Bytes());
    const auto entries = reader.ReadEntries();
    EXPECT_EQ(reader.Position(), s.Bytes().size());
    ASSERT_EQ(entries.size(), 22u);
    const auto at = [&](std::size_t i) -> const PropertyValue& { return entries[i].value; };
    EXPECT_EQ(at(0).text, "Null");
    ASSERT_EQ(at(1).list.size(), 2u);
    EXPECT_EQ(at(1).list[1].list[0].text, "True");
    EXPECT_EQ(at(2).integer, -5);
    EXPECT_EQ(at(3).integer, -1000);
    EXPECT_EQ(at(4).integer, -100000);
    EXPECT_EQ(at(5).real, -2.5);
    EXPECT_EQ(at(6).text, "short");
    EXPECT_EQ(at(7).text, "clRed");
    EXPECT_EQ(at(8).text, "False");
    EXPECT_EQ(at(9).text, "True");
    EXPECT_EQ(at(10).text, std::string("\0\1\2", 3));
    EXPECT_EQ(at(11).set, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(at(12).text, "long");
    EXPECT_EQ(at(13).text, "nil");
    ASSERT_EQ(at(14).items.size(), 4u);
    EXPECT_EQ(at(14).items[0].order, 3);
    EXPECT_EQ(at(14).items[0].properties[0].name, "X");
    EXPECT_FALSE(at(14).items[1].order);
    EXPECT_EQ(at(14).items[2].order, 300);
    EXPECT_EQ(at(14).items[3].order, 70000);
    EXPECT_EQ(at(15).real, 0.5);
    EXPECT_EQ(at(16).integer, 25000);
    EXPECT_EQ(at(17).real, 36526.5);
    EXPECT_EQ(at(18).wide, u"\u20AC!");
    EXPECT_EQ(at(19).integer, std::int64_t{1} << 32);
    EXPECT_EQ(at(20).text, "\xC3\xA9");
    EXPECT_EQ(at(21).real, -0.25);
}

// An 80-bit extended value: sign and 15-bit exponent on top, a 64-bit mantissa with its integer
// bit below.
std::string Extended(bool negative, int exponent, std::uint64_t mantissa) {
    std::string bytes;
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>((mantissa >> (8 * i)) & 0xFF));
    bytes.push_back(static_cast<char>(exponent & 0xFF));
    bytes.push_back(static_cast<char>(((exponent >> 8) & 0x7F) | (negative ? 0x80 : 0)));
    return bytes;
}

TEST(PropertyReader, ExtendedValuesBecomeTheNearestDouble) {
    constexpr std::uint64_t kOne = std::uint64_t{1} << 63;
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        std::string bytes;
        double expected;  // NaN: any NaN of that sign
    } cases[] = {
        {"one", Extended(false, 0x3FFF, kOne), 1.0},
        {"minus three quarters", Extended(true, 0x3FFE, kOne | kOne >> 1), -0.75},
        {"zero", Extended(false, 0, 0), 0.0},
        {"negative zero", Extended(true, 0, 0), -0.0},
        {"infinity", Extended(false, 0x7FFF, kOne), inf},
        {"negative infinity", Extended(true, 0x7FFF, kOne), -inf},
        {"infinity without its integer bit", Extended(false, 0x7FFF, 0), inf},
        {"quiet NaN", Extended(false, 0x7FFF, kOne | kOne >> 1), std::nan("")},
        {"negative NaN", Extended(true, 0x7FFF, kOne | 1), -std::nan("")},
        {"beyond the double range", Extended(false, 0x7FFE, kOne), inf},
        {"below the double range", Extended(true, 1, kOne), -0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = Stream().Code(5).Raw(c.bytes).Bytes();
        PropertyReader reader(bytes);
        const PropertyValue v = reader.ReadValue();
        EXPECT_EQ(v.code, ValueCode::Extended);
        EXPECT_EQ(reader.Position(), 11u);
        EXPECT_EQ(std::signbit(v.real), std::signbit(c.expected));
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(v.real)) << v.real;
        } else {
            EXPECT_EQ(v.real, c.expected);
        }
    }
}

TEST(PropertyReader, MalformedStreamsAreRefusedWithTheirMessage) {
    const auto error_of = [](const std::string& bytes) {
        try {
            PropertyReader(bytes).ReadEntries();
        } catch (const PropertyReadError& e) {
            return std::string(e.what());
        }
        return std::string("(no error)");
    };
    const struct {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"unknown code", Stream().Name("X").Code(22).End().Bytes(), "Invalid property value"},
        {"lists nested past any real stream", Stream().Name("X").Bytes() + std::string(100000, '\1'),
         "Invalid property value"},
        {"collection item without its list code", Stream().Name("X").Code(14).Int8(1).Code(11).End().End().Bytes(),
         "Invalid property value"},
        {"set where an item's list is expected", Stream().Name("X").Code(14).Code(11).End().End().Bytes(),
         "Invalid property value"},
        {"wide text longer than the stream", Stream().Name("X").Code(18).U32(3).U16('a').U16('b').Bytes(),
         "Stream read error"},
        {"wide text count past any stream", Stream().Name("X").Code(18).U32(0xFFFFFFFF).U16('a').Bytes(),
         "Stream read error"},
        {"extended value cut off", Stream().Name("X").Code(5).Raw(std::string(9, '\0')).Bytes(), "Stream read error"},
        {"list without its end", Stream().Name("X").Code(1).Int8(1).Bytes(), "Stream read error"},
        {"collection without its end", Stream().Name("X").Code(14).Code(1).End().Bytes(), "Stream read error"},
        {"UTF-8 text longer than the stream", Stream().Name("X").Code(20).U32(5).Raw("ab").Bytes(),
         "Stream read error"},
    };
    for (const auto& c : cases) EXPECT_EQ(error_of(c.bytes), c.message) << c.what;
}

TEST(PropertyWriter, PicksTheShortestIntegerCode) {
    PropertyWriter w;
    for (const std::int32_t v : {127, -128, 128, -32768, 32767, 32768, -2147483647 - 1}) w.Integer(v);
    const Stream expected = Stream()
                                .Int8(127).Int8(-128 & 0xFF)
                                .Int16(128).Int16(-32768).Int16(32767)
                                .Int32(32768).Int32(-2147483647 - 1);
    EXPECT_EQ(w.Bytes(), expected.Bytes());

    PropertyReader reader(w.Bytes());
    for (const std::int32_t v : {127, -128, 128, -32768, 32767, 32768, -2147483647 - 1}) EXPECT_EQ(reader.ReadInteger(), v);
}

TEST(PropertyWriter, RefusesNamesItCannotEncode) {
    // A length byte holds 1..255; an empty name would read back as the end of the list.
    const std::string empty, longest(255, 'n'), too_long(256, 'n');
    const struct {
        const char* what;
        std::function<void(PropertyWriter&, const std::string&)> write;
    } kinds[] = {
        {"property name", [](PropertyWriter& w, const std::string& s) { w.Name(s); }},
        {"identifier", [](PropertyWriter& w, const std::string& s) { w.Ident(s); }},
        {"set member", [](PropertyWriter& w, const std::string& s) { w.Set({"first", s}); }},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.what);
        PropertyWriter w;
        EXPECT_THROW(k.write(w, empty), ArgumentError);
        EXPECT_THROW(k.write(w, too_long), ArgumentError);
        EXPECT_NO_THROW(k.write(w, longest));
    }
}

TEST(PropertyWriter, LongTextTakesTheLongForm) {
    PropertyWriter w;
    w.Text(std::string(255, 'a'));
    w.Text(std::string(256, 'b'));
    EXPECT_EQ(static_cast<int>(w.Bytes()[0]), 6);
    EXPECT_EQ(static_cast<int>(w.Bytes()[257]), 12);
    PropertyReader reader(w.Bytes());
    EXPECT_EQ(reader.ReadText(), std::string(255, 'a'));
    EXPECT_EQ(reader.ReadText(), std::string(256, 'b'));
}

}  // namespace
}  // namespace tb
