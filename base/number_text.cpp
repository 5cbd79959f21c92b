#include "base/number_text.h"

#include <cmath>

namespace {

// Wide enough for a value below 2^64 times 1000, shifted left by up to 11 bits.
__extension__ typedef unsigned __int128 Wide;

std::wstring Digits(Wide value) {
    wchar_t buffer[40];
    wchar_t* const end = buffer + sizeof buffer / sizeof buffer[0];
    wchar_t* first = end;
    do {
        *--first = static_cast<wchar_t>(L'0' + static_cast<int>(value % 10));
        value /= 10;
    } while (value != 0);
    return std::wstring(first, end);
}

} // namespace

std::wstring DecimalText(unsigned long long magnitude, bool negative) {
    return (negative ? L"-" : L"") + Digits(magnitude);
}

std::wstring FixedText(double value, int decimals) {
    unsigned scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    // value = mantissa * 2^exponent exactly, the mantissa a 53-bit integer; value * scale is then
    // a whole number shifted right by -exponent bits, which is rounded here as printf does.
    int exponent = 0;
    const double fraction = std::frexp(value, &exponent);
    const auto mantissa = static_cast<unsigned long long>(std::ldexp(fraction, 53));
    exponent -= 53;
    Wide scaled = static_cast<Wide>(mantissa) * scale;
    if (exponent >= 0) {
        scaled <<= exponent; // value < 2^64: at most 11 more bits
    } else if (exponent <= -100) {
        scaled = 0; // far below half a unit of the last decimal
    } else {
        const unsigned shift = static_cast<unsigned>(-exponent);
        const Wide rest = scaled & ((static_cast<Wide>(1) << shift) - 1);
        const Wide half = static_cast<Wide>(1) << (shift - 1);
        scaled >>= shift;
        if (rest > half || (rest == half && (scaled & 1) != 0)) ++scaled;
    }
    std::wstring text = Digits(scaled / scale);
    if (decimals > 0) {
        const std::wstring after = Digits(scaled % scale + scale); // a leading 1 keeps the zeros
        text += L'.';
        text.append(after, 1, std::wstring::npos);
    }
    return text;
}
