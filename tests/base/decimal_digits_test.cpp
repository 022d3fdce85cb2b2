// The leading decimal digits of a double against the C library's "%.*e", which rounds the exact
// binary value: across the whole range of doubles, and at the places where rounding goes wrong.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "base/decimal_digits.hpp"

namespace tb {
namespace {

// "%.*e" as digits and exponent.
DecimalDigits FromPrintf(double value, int count) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%.*e", count - 1, value);
    DecimalDigits expected;
    const char* p = buffer;
    for (; *p != 'e'; ++p) {
        if (*p != '.') expected.digits += *p;
    }
    expected.exponent = std::atoi(p + 1);
    return expected;
}

void ExpectSameAsPrintf(double value, int count) {
    const DecimalDigits expected = FromPrintf(value, count);
    const DecimalDigits got = LeadingDigits(value, count);
    EXPECT_EQ(got.digits, expected.digits) << value << " to " << count << " digits";
    EXPECT_EQ(got.exponent, expected.exponent) << value << " to " << count << " digits";
}

TEST(LeadingDigits, MatchThePrintedDigitsAtTheEdgesOfRoundingAndRange) {
    const double cases[] = {
        1.0, 0.1, 0.5, 2.5, 9.5, 123.0, 1e15, 1e-5, 3.14159265358979,
        0.30000000000000004,       // needs the 17th digit to tell
        999999999999999.5,         // a tie on the fifteenth digit, even below: stays
        999999999999998.5,         // ... odd below: rounds up
        9.9999999999999995e22,     // rounds up to 1.00000000000000e+23
        1.00000000000000005e-300,  // far below one
        5e-324,                    // the smallest subnormal
        2.2250738585072014e-308,   // the smallest normal
        DBL_MAX,
        4503599627370496.5,        // 2^52 + 0.5
        0.000123456789012345678,
        1234567890123456789.0,
    };
    for (double value : cases) {
        for (int count : {1, 15, 17, 25}) ExpectSameAsPrintf(value, count);
    }
}

TEST(LeadingDigits, MatchThePrintedDigitsForDoublesFromEveryExponent) {
    std::mt19937_64 random(20261211);
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = random() & 0x7FFFFFFFFFFFFFFFull;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (!(value > 0) || value > DBL_MAX) continue;  // zero, infinities and NaNs are the caller's
        ExpectSameAsPrintf(value, 15);
    }
    // Short decimal values, where a tie is most likely: halves at the digit after the fifteenth.
    for (int i = 0; i < 5000; ++i) {
        const double value = static_cast<double>(random() % 100000000000000000ull) / 100.0;
        if (value > 0) ExpectSameAsPrintf(value, 15);
    }
}

}  // namespace
}  // namespace tb
