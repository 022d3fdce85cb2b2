#include "base/decimal_digits.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace tb {
namespace {

// An unsigned integer of up to kWords x 32 bits, enough for any double times a power of ten that
// brings it near 10^40: at most about 1130 + 140 bits.
class BigNumber {
public:
    explicit BigNumber(std::uint64_t value) {
        words_[0] = static_cast<std::uint32_t>(value);
        words_[1] = static_cast<std::uint32_t>(value >> 32);
        used_ = words_[1] != 0 ? 2 : 1;
    }

    void MultiplyBy(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (int i = 0; i < used_; ++i) {
            const std::uint64_t product = static_cast<std::uint64_t>(words_[i]) * factor + carry;
            words_[i] = static_cast<std::uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0) words_[used_++] = static_cast<std::uint32_t>(carry);
    }

    void MultiplyByPowerOfTen(int power) {
        for (; power >= 9; power -= 9) MultiplyBy(1000000000u);
        for (; power > 0; --power) MultiplyBy(10u);
    }

    void ShiftLeft(int bits) {
        const int whole = bits / 32;
        const int part = bits % 32;
        if (part != 0) {
            std::uint32_t carry = 0;
            for (int i = 0; i < used_; ++i) {
                const std::uint32_t word = words_[i];
                words_[i] = (word << part) | carry;
                carry = word >> (32 - part);
            }
            if (carry != 0) words_[used_++] = carry;
        }
        if (whole != 0) {
            std::memmove(words_ + whole, words_, sizeof(std::uint32_t) * static_cast<size_t>(used_));
            std::memset(words_, 0, sizeof(std::uint32_t) * static_cast<size_t>(whole));
            used_ += whole;
        }
    }

    friend int Compare(const BigNumber& a, const BigNumber& b) {
        if (a.used_ != b.used_) return a.used_ < b.used_ ? -1 : 1;
        for (int i = a.used_ - 1; i >= 0; --i) {
            if (a.words_[i] != b.words_[i]) return a.words_[i] < b.words_[i] ? -1 : 1;
        }
        return 0;
    }

    // this -= other, where other <= this.
    void Subtract(const BigNumber& other) {
        std::int64_t borrow = 0;
        for (int i = 0; i < used_; ++i) {
            const std::int64_t difference =
                static_cast<std::int64_t>(words_[i]) - (i < other.used_ ? other.words_[i] : 0) - borrow;
            words_[i] = static_cast<std::uint32_t>(difference);
            borrow = difference < 0 ? 1 : 0;
        }
        while (used_ > 1 && words_[used_ - 1] == 0) --used_;
    }

private:
    static constexpr int kWords = 48;
    std::uint32_t words_[kWords] = {};
    int used_ = 1;
};

}  // namespace

DecimalDigits LeadingDigits(double value, int count) {
    // value = mantissa x 2^binary_exponent exactly, then value = remainder / scale with both whole.
    int binary_exponent = 0;
    const double fraction = std::frexp(value, &binary_exponent);  // value = fraction x 2^binary_exponent
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    binary_exponent -= 53;
    BigNumber remainder(mantissa);
    BigNumber scale(1);
    if (binary_exponent > 0) {
        remainder.ShiftLeft(binary_exponent);
    } else {
        scale.ShiftLeft(-binary_exponent);
    }
    // The decimal exponent, estimated and then made exact: 1 <= remainder / scale < 10.
    int exponent = static_cast<int>(std::floor(std::log10(value)));
    if (exponent > 0) {
        scale.MultiplyByPowerOfTen(exponent);
    } else {
        remainder.MultiplyByPowerOfTen(-exponent);
    }
    BigNumber ten_scale = scale;
    ten_scale.MultiplyBy(10);
    if (Compare(remainder, ten_scale) >= 0) {
        ++exponent;
        scale = ten_scale;
    } else if (Compare(remainder, scale) < 0) {
        --exponent;
        remainder.MultiplyBy(10);
    }

    DecimalDigits result;
    result.exponent = exponent;
    for (int i = 0; i < count; ++i) {
        char digit = '0';
        while (Compare(remainder, scale) >= 0) {
            remainder.Subtract(scale);
            ++digit;
        }
        result.digits += digit;
        remainder.MultiplyBy(10);
    }
    // remainder is now 10 x what is left; compare what is left with half a unit of the last digit.
    BigNumber half_unit = scale;
    half_unit.MultiplyBy(5);
    const int against_half = Compare(remainder, half_unit);
    const bool round_up = against_half > 0 || (against_half == 0 && (result.digits.back() - '0') % 2 == 1);
    if (round_up) {
        int i = count - 1;
        for (; i >= 0 && result.digits[static_cast<size_t>(i)] == '9'; --i) result.digits[static_cast<size_t>(i)] = '0';
        if (i >= 0) {
            ++result.digits[static_cast<size_t>(i)];
        } else {
            result.digits.insert(result.digits.begin(), '1');  // 9.99...9 rounds up to 10.00...0
            result.digits.pop_back();
            ++result.exponent;
        }
    }
    return result;
}

}  // namespace tb
