// The conversions of key values to text, integer and boolean, and the errors they raise.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "base/errors.hpp"
#include "base/little_endian.hpp"
#include "storage/storage.hpp"
#include "storage/value_text.hpp"
#include "storage_fixture.hpp"

namespace tb {
namespace {

std::string Fixed32(std::uint32_t v) {
    unsigned char b[4];
    StoreU32(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
}
std::string Fixed64(std::uint64_t v) {
    unsigned char b[8];
    StoreU64(b, v);
    return std::string(reinterpret_cast<char*>(b), 8);
}
std::string Double(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return Fixed64(bits);
}

// nullopt: the conversion raises the storage error for that type.
struct Case {
    const char* what;
    TrsValueKind kind;
    std::string payload;
    std::optional<std::string> text;
    std::optional<std::int32_t> integer;
    std::optional<bool> boolean;
};

TEST(KeyConversions, EachKindConvertsAsTheTableSays) {
    const std::nullopt_t err = std::nullopt;
    const Case cases[] = {
        {"empty", vkEmpty, "", "", 0, false},
        {"text number", vkString, "42", "42", 42, err},
        {"text true", vkString, "true", "true", err, true},
        {"text FALSE", vkString, "FALSE", "FALSE", err, false},
        {"binary 4 bytes", vkBinary, testing_support::Bytes({1, 0, 0, 0}), "01,00,00,00", 1, err},
        {"binary 2 bytes", vkBinary, testing_support::Bytes({0x0A, 0x1B}), "0A,1B", err, err},
        {"integer", vkInteger, Fixed32(static_cast<std::uint32_t>(-7)), "-7", -7, true},
        {"integer zero", vkInteger, Fixed32(0), "0", 0, false},
        {"float", vkFloat, Double(2.5), "2.5", 2, true},
        {"float tie up to even", vkFloat, Double(3.5), "3.5", 4, true},
        {"float negative tie", vkFloat, Double(-2.5), "-2.5", -2, true},
        {"float negative zero is true", vkFloat, Double(-0.0), "0", 0, true},
        {"float too large for an integer", vkFloat, Double(1e300), "1E300", err, true},
        {"float nan", vkFloat, Double(std::numeric_limits<double>::quiet_NaN()), "NAN", err, true},
        {"currency", vkCurrency, Fixed64(15000), "1.5", 2, true},
        {"currency tie to even", vkCurrency, Fixed64(25000), "2.5", 2, true},
        {"currency negative", vkCurrency, Fixed64(static_cast<std::uint64_t>(-35000)), "-3.5", -4, true},
        {"date", vkDateTime, Double(0), "12/30/1899", 0, err},
        {"date and time", vkDateTime, Double(2.25), "1/1/1900 6:00:00 AM", 2, err},
        {"date before 1899", vkDateTime, Double(-1.75), "12/29/1899 6:00:00 PM", -2, err},
        {"date out of range", vkDateTime, Double(1e7), err, 10000000, err},
        {"boolean true", vkBoolean, Fixed32(5), "True", 1, true},
        {"boolean false", vkBoolean, Fixed32(0), "False", 0, false},
        {"point", vkPoint, Fixed32(3) + Fixed32(static_cast<std::uint32_t>(-4)), "(3,-4)", err, err},
        {"int64 low bits", vkInt64, Fixed64(0x100000005ull), "4294967301", 5, true},
        {"raw32", vkRaw32, Fixed32(0xFFFFFFFFu), "-1", err, err},
        {"unknown kind", static_cast<TrsValueKind>(11), "", err, err, err},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrsStorage store;
        store.WriteValue("\\S\\K", c.kind, c.payload);
        auto expect_error = [](auto read, const char* word) {
            try {
                read();
                ADD_FAILURE() << "no error for " << word;
            } catch (const TrsException& e) {
                EXPECT_EQ(std::string(e.what()), std::string("TrsStorage get key value error: Can't read value of key "
                                                             "\"\\S\\K\" as ") + word + " type.");
            }
        };
        if (c.text) {
            EXPECT_EQ(store.ReadString("\\S\\K", "default"), *c.text);
        } else {
            expect_error([&] { store.ReadString("\\S\\K", ""); }, "string");
        }
        if (c.integer) {
            EXPECT_EQ(store.ReadInteger("\\S\\K", 99), *c.integer);
        } else if (c.kind != vkString) {
            expect_error([&] { store.ReadInteger("\\S\\K", 0); }, "integer");
        }
        if (c.boolean) {
            EXPECT_EQ(store.ReadBool("\\S\\K", !*c.boolean), *c.boolean);
        } else {
            expect_error([&] { store.ReadBool("\\S\\K", false); }, "boolean");
        }
    }
}

TEST(KeyConversions, TextThatIsNoIntegerRaisesTheConversionError) {
    TrsStorage store;
    store.WriteString("\\Options\\Size", "42 ");
    try {
        store.ReadInteger("\\Options\\Size", 0);
        FAIL() << "no error";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'42 ' is not a valid integer value");
    }
}

TEST(KeyConversions, ErrorNamesTheKeyFromTheRoot) {
    TrsStorage store;
    store.WriteString("\\Options\\About Show", "yes");
    store.WriteString("Top", "yes");
    try {
        store.ReadBool("\\Options\\About Show", false);
        FAIL() << "no error";
    } catch (const TrsException& e) {
        EXPECT_STREQ(e.what(),
                     "TrsStorage get key value error: Can't read value of key \"\\Options\\About Show\" as boolean type.");
        EXPECT_EQ(e.Kind(), 0);
    }
    // A key of the root has an empty section path.
    try {
        store.ReadBool("Top", false);
        FAIL() << "no error";
    } catch (const TrsException& e) {
        EXPECT_NE(std::string(e.what()).find("\"\\\\Top\""), std::string::npos) << e.what();
    }
}

TEST(IntegerText, ParsesTheAcceptedForms) {
    const struct {
        const char* text;
        std::optional<std::int32_t> value;
    } cases[] = {
        {"42", 42},          {"  42", 42},       {"+42", 42},         {"-42", -42},
        {"$1F", 31},         {"x1f", 31},        {"X1F", 31},         {"0x1F", 31},
        {"0X1f", 31},        {"-$10", -16},      {"$FFFFFFFF", -1},   {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},    {"2147483648", std::nullopt},
        {"$100000000", std::nullopt},           {"", std::nullopt},  {"   ", std::nullopt},
        {"-", std::nullopt}, {"$", std::nullopt}, {"0x", std::nullopt}, {"42 ", std::nullopt},
        {"4 2", std::nullopt}, {"1.5", std::nullopt}, {"\t1", std::nullopt}, {"0", 0},
        {"007", 7},          {"99999999999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseInteger(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(ValueText, FloatsUseGeneralNotationWithFifteenDigits) {
    const LocaleFormats formats = DefaultLocaleFormats();
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {1.5, "1.5"},
        {100, "100"},
        {0.1, "0.1"},
        {1.0 / 3, "0.333333333333333"},
        {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},
        {1.5e20, "1.5E20"},
        {0.00001, "0.00001"},
        {0.000001, "1E-6"},
        {-1.25e-7, "-1.25E-7"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatFloat(c.value, formats), c.text) << c.value;

    LocaleFormats comma = formats;
    comma.decimal_separator = ",";
    EXPECT_EQ(FormatFloat(-2.5, comma), "-2,5");
    EXPECT_EQ(FormatCurrency(15000, comma), "1,5");
}

TEST(ValueText, CurrencyKeepsAtMostFourDecimals) {
    const LocaleFormats formats = DefaultLocaleFormats();
    EXPECT_EQ(FormatCurrency(0, formats), "0");
    EXPECT_EQ(FormatCurrency(10000, formats), "1");
    EXPECT_EQ(FormatCurrency(12345678, formats), "1234.5678");
    EXPECT_EQ(FormatCurrency(-1, formats), "-0.0001");
    EXPECT_EQ(FormatCurrency(std::numeric_limits<std::int64_t>::min(), formats), "-922337203685477.5808");
}

TEST(ValueText, DateTimesFollowTheLocalePictures) {
    LocaleFormats formats = DefaultLocaleFormats();
    EXPECT_EQ(FormatDateTime(45306.5, formats), "1/15/2024 12:00:00 PM");
    EXPECT_EQ(FormatDateTime(45306 + (13 * 3600 + 4 * 60 + 5) / 86400.0, formats), "1/15/2024 1:04:05 PM");
    EXPECT_EQ(FormatDateTime(-693593, formats), "1/1/0001");
    EXPECT_EQ(FormatDateTime(2958465, formats), "12/31/9999");
    EXPECT_EQ(FormatDateTime(2958466, formats), std::nullopt);
    EXPECT_EQ(FormatDateTime(std::nan(""), formats), std::nullopt);

    formats.short_date = "dd.MM.yyyy";
    formats.long_time = "HH:mm:ss";
    EXPECT_EQ(FormatDateTime(45306 + 0.25, formats), "15.01.2024 06:00:00");
    formats.short_date = "dddd, d MMMM yy 'at'";
    EXPECT_EQ(FormatDateTime(45306, formats), "Monday, 15 January 24 at");
}

}  // namespace
}  // namespace tb
