#include <gtest/gtest.h>

#include <cstring>

#include "iconlist_helpers.hpp"
#include "storage/property_stream.hpp"

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
                         .Name("Coll").Code(14).Int8(3).Code(1).Name("X").Int8(1).End().Code(1).End().End()
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
    ASSERT_EQ(at(14).items.size(), 2u);
    EXPECT_EQ(at(14).items[0].order, 3);
    EXPECT_EQ(at(14).items[0].properties[0].name, "X");
    EXPECT_FALSE(at(14).items[1].order);
    EXPECT_EQ(at(15).real, 0.5);
    EXPECT_EQ(at(16).integer, 25000);
    EXPECT_EQ(at(17).real, 36526.5);
    EXPECT_EQ(at(18).wide, u"\u20AC!");
    EXPECT_EQ(at(19).integer, std::int64_t{1} << 32);
    EXPECT_EQ(at(20).text, "\xC3\xA9");
    EXPECT_EQ(at(21).real, -0.25);
}

TEST(PropertyReader, UnknownCodesAndDeepNestingAreRefused) {
    const auto error_of = [](const std::string& bytes) {
        try {
            PropertyReader(bytes).ReadEntries();
        } catch (const PropertyReadError& e) {
            return std::string(e.what());
        }
        return std::string("(no error)");
    };
    EXPECT_EQ(error_of(Stream().Name("X").Code(22).End().Bytes()), "Invalid property value");
    std::string deep = Stream().Name("X").Bytes() + std::string(100000, '\1');
    EXPECT_EQ(error_of(deep), "Invalid property value");
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
