#include <gtest/gtest.h>

#include "tools/dump_format.hpp"
#include "tools/raw_file.hpp"

namespace tb::tool {
namespace {

std::string Le(uint64_t v, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
}

// One key of every kind, with the awkward values: non-UTF-8 text, a boolean that is neither 0 nor 1,
// a NaN, negative currency, an unknown kind code.
RawTables EveryKind() {
    RawTables t;
    t.sections = {{2, 0, "Options"}, {1, 0, std::string("Caf\xE9", 4)}, {3, 2, "Inner"}};
    const auto key = [&](int32_t section, std::string name, uint16_t kind, std::string payload) {
        t.keys.push_back({section, std::move(name), kind, std::move(payload)});
    };
    key(0, "Empty", kKindEmpty, "");
    key(1, "Text", kKindString, "Bar \xE2\x82\xAC");
    key(1, std::string("\xFF\xFEname", 6), kKindString, std::string("\x80\x00z", 3));
    key(2, "Binary", kKindBinary, std::string("\x00\x01\xFF", 3));
    key(2, "Integer", kKindInteger, Le(static_cast<uint32_t>(-42), 4));
    key(2, "Float", kKindFloat, Le(0x400921FB54442D18ull, 8));  // pi
    key(2, "NaN", kKindFloat, Le(0x7FF8000000000123ull, 8));
    key(2, "Currency", kKindCurrency, Le(static_cast<uint64_t>(-123456789), 8));
    key(2, "When", kKindDateTime, Le(0x40E5F8C000000000ull, 8));
    key(2, "True", kKindBoolean, Le(1, 4));
    key(2, "Odd", kKindBoolean, Le(7, 4));
    key(2, "Point", kKindPoint, Le(static_cast<uint32_t>(-3), 4) + Le(4, 4));
    key(2, "Big", kKindInt64, Le(0x8000000000000000ull, 8));
    key(2, "Raw", kKindRaw32, Le(0xFFFFFFFF, 4));
    key(3, "Future", 77, "");
    return t;
}

TEST(DumpFormat, EveryKindSurvivesJsonText) {
    const RawTables original = EveryKind();
    const std::string text = DumpToJson(original).dump(2);
    const RawTables back = DumpFromJson(Json::parse(text));
    EXPECT_EQ(WriteStorageImage(back), WriteStorageImage(original));
}

TEST(DumpFormat, ValuesReadTheWayAPublisherExpects) {
    const Json dump = DumpToJson(EveryKind());
    const Json& keys = dump["keys"];
    EXPECT_EQ(dump["sections"][1]["name"], Json({{"hex", "436166e9"}}));
    EXPECT_EQ(keys[1]["value"], "Bar \xE2\x82\xAC");
    EXPECT_EQ(keys[2]["name"], Json({{"hex", "fffe6e616d65"}}));
    EXPECT_EQ(keys[3]["value"], Json({{"hex", "0001ff"}}));
    EXPECT_EQ(keys[4]["value"], -42);
    EXPECT_EQ(keys[7]["value"], "-12345.6789");
    EXPECT_EQ(keys[9]["value"], true);
    EXPECT_EQ(keys[10]["value"], 7);
    EXPECT_EQ(keys[11]["value"], Json::array({-3, 4}));
    EXPECT_EQ(keys[13]["value"], -1);
    EXPECT_EQ(keys[14]["kind"], 77);
    EXPECT_FALSE(keys[14].contains("value"));
}

TEST(DumpFormat, CurrencyTextIsExact) {
    const struct {
        const char* text;
        int64_t units;
    } cases[] = {{"0", 0}, {"1.5", 15000}, {"-0.0001", -1}, {"922337203685477.5807", INT64_MAX},
                 {"-922337203685477.5808", INT64_MIN}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RawTables t;
        t.keys.push_back({0, "C", kKindCurrency, Le(static_cast<uint64_t>(c.units), 8)});
        EXPECT_EQ(DumpToJson(t)["keys"][0]["value"], c.text);
        EXPECT_EQ(PayloadFromJson(kKindCurrency, Json(c.text), "v"), Le(static_cast<uint64_t>(c.units), 8));
    }
}

TEST(DumpFormat, BadDocumentsNameThePlace) {
    const struct {
        const char* json;
        const char* message;
    } cases[] = {
        {R"({"format":"other","sections":[],"keys":[]})", "format:"},
        {R"({"format":"tbtool dump 1","sections":[],"keys":[{"section":0,"name":"a","kind":"integer","value":"x"}]})",
         "keys[0].value: expected an integer"},
        {R"({"format":"tbtool dump 1","sections":[],"keys":[{"section":0,"name":"a","kind":"integer","value":4294967296}]})",
         "keys[0].value: 4294967296 is out of range"},
        {R"({"format":"tbtool dump 1","sections":[],"keys":[{"section":0,"name":"a","kind":"integer"}]})",
         "keys[0]: a key of kind \"integer\" needs a \"value\""},
        {R"({"format":"tbtool dump 1","sections":[],"keys":[{"section":0,"name":"a","kind":"empty","value":1}]})",
         "keys[0].value: a key of this kind holds no value"},
        {R"({"format":"tbtool dump 1","sections":[{"id":70000,"parent":0,"name":"a"}],"keys":[]})",
         "sections[0].id: 70000 is out of range"},
        {R"({"format":"tbtool dump 1","sections":[],"keys":[{"section":0,"name":{"hex":"4g"},"kind":"empty"}]})",
         "keys[0].name.hex:"},
        {R"({"format":"tbtool dump 1","sections":[],"keys":[{"section":0,"name":"a","kind":"text","value":"x"}]})",
         "keys[0].kind: unknown kind \"text\""},
        {R"({"format":"tbtool dump 1","sections":[],"keys":[{"section":0,"name":"a","kind":"currency","value":"1.23456"}]})",
         "keys[0].value: \"1.23456\" is not a currency amount"},
        {R"({"format":"tbtool dump 1","sections":[],"keys":[],"extra":1})", "extra: unknown field"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            DumpFromJson(Json::parse(c.json));
            ADD_FAILURE() << "accepted";
        } catch (const JsonError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(StorageImage, WritesTheStoresFormat) {
    RawTables t;
    t.sections = {{1, 0, "Options"}};
    t.keys = {{1, "Toolbar Name", kKindString, "Bar"}};
    const std::string expected("RS02\x01\x00\x01\x00\x01\x00\x00\x00\x07Options\x01\x00\x0CToolbar Name\x01\x00\x03\x00\x00\x00" "Bar", 44);
    EXPECT_EQ(WriteStorageImage(t), expected);
}

TEST(StorageImage, RefusesWhatTheFormatCannotHold) {
    RawTables long_name;
    long_name.keys = {{0, std::string(256, 'a'), kKindEmpty, ""}};
    EXPECT_THROW(WriteStorageImage(long_name), Error);
    RawTables short_payload;
    short_payload.keys = {{0, "a", kKindInteger, "ab"}};
    EXPECT_THROW(WriteStorageImage(short_payload), Error);
}

}  // namespace
}  // namespace tb::tool
