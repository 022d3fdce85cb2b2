#pragma once
// The leading decimal digits of a double, exact: what "%.*e" prints, without the C library's
// printf (whose floating-point half is a large part of the Windows library for this one use).
#include <string>

namespace tb {

struct DecimalDigits {
    std::string digits;  // exactly the count asked for, the first one not zero
    int exponent = 0;    // value = d.ddd... x 10^exponent
};

// The first `count` (1 to 40) significant digits of a finite value greater than zero, rounded to
// nearest from its exact binary value, a tie to the even digit.
DecimalDigits LeadingDigits(double value, int count);

}  // namespace tb
