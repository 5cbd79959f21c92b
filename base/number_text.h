// Numbers as text without the C++ stream and locale machinery or the C runtime's printf: digits
// in ASCII, a '.' before decimals, whatever the user's locale, and a few hundred bytes of code.
#pragma once

#include <string>
#include <type_traits>

// The decimal digits of `magnitude`, after a '-' when `negative`.
std::wstring DecimalText(unsigned long long magnitude, bool negative);

// Any integer in decimal: "-12", "0", "18446744073709551615".
template <typename Integer>
std::wstring DecimalText(Integer value) {
    static_assert(std::is_integral_v<Integer>, "DecimalText takes integers");
    if constexpr (std::is_signed_v<Integer>) {
        if (value < 0) return DecimalText(0ull - static_cast<unsigned long long>(value), true);
    }
    return DecimalText(static_cast<unsigned long long>(value), false);
}

// `value` (0 or more, below 2^64) with exactly `decimals` (0-3) digits after the point, rounded as
// printf's "%.Nf" rounds: to the nearest, a tie to the even digit, on the double's exact value.
std::wstring FixedText(double value, int decimals);
