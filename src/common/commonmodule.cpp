// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the console and the player windows.
#include "commonmodule.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace CommonModule {

int16_t IntMax(int16_t a, int16_t b)
{
    return a > b ? a : b;
}

int16_t IntMin(int16_t a, int16_t b)
{
    return a < b ? a : b;
}

namespace {

// Enough significant digits to round any decimal to the nearest double;
// a sticky "1" stands in for whatever nonzero digits are cut beyond them.
constexpr int MaxSignificantDigits = 800;
// Any exponent beyond this overflows or underflows a double whatever the
// digits, so it is clamped before it can overflow an integer.
constexpr long long ExponentClamp = 100000000;

bool isAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

int digitValue(char16_t c, int base)
{
    int v = -1;
    if (c >= u'0' && c <= u'9')
        v = c - u'0';
    else if (c >= u'a' && c <= u'f')
        v = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        v = c - u'A' + 10;
    return v < base ? v : -1;
}

// "&H" / "&O" integers. A value beyond 64 bits saturates at 2^64 - 1
// instead of wrapping, so a long run of F's never reads as a small number.
double prefixedInteger(const std::u16string &s, int base)
{
    const unsigned shift = base == 16 ? 4 : 3;
    constexpr uint64_t top = std::numeric_limits<uint64_t>::max();
    uint64_t value = 0;
    for (size_t i = 2; i < s.size(); ++i) {
        const int d = digitValue(s[i], base);
        if (d < 0)
            break;
        if (value > (top >> shift))
            value = top;
        else
            value = (value << shift) | uint64_t(d);
    }
    return double(value);
}

} // namespace

double leadingNumber(const QString &text)
{
    // Blanks, tabs and line feeds vanish wherever they stand: "1 2 3" is 123.
    std::u16string s;
    s.reserve(size_t(text.size()));
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c != u' ' && c != u'\t' && c != u'\n')
            s.push_back(c);
    }

    if (s.size() >= 2 && s[0] == u'&') {
        if (s[1] == u'H' || s[1] == u'h')
            return prefixedInteger(s, 16);
        if (s[1] == u'O' || s[1] == u'o')
            return prefixedInteger(s, 8);
        return 0.0;
    }

    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }

    // Mantissa digits without the point; pointShift is the power of ten
    // the point stands for.
    std::string digits;
    long long pointShift = 0;
    bool anyDigit = false;
    for (; i < s.size() && isAsciiDigit(s[i]); ++i) {
        anyDigit = true;
        digits.push_back(char(s[i]));
    }
    if (i < s.size() && s[i] == u'.') {
        ++i;
        for (; i < s.size() && isAsciiDigit(s[i]); ++i) {
            anyDigit = true;
            digits.push_back(char(s[i]));
            --pointShift;
        }
    }
    if (!anyDigit)
        return 0.0;

    // An exponent marker without digits is simply where the number ends.
    long long exponent = 0;
    if (i < s.size() && (s[i] == u'E' || s[i] == u'e' || s[i] == u'D' || s[i] == u'd')) {
        size_t j = i + 1;
        bool expNegative = false;
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-')) {
            expNegative = s[j] == u'-';
            ++j;
        }
        for (; j < s.size() && isAsciiDigit(s[j]); ++j) {
            if (exponent < ExponentClamp)
                exponent = exponent * 10 + (s[j] - u'0');
        }
        if (expNegative)
            exponent = -exponent;
    }

    // Normalise to an integer of digits times a power of ten.
    const size_t firstNonZero = digits.find_first_not_of('0');
    if (firstNonZero == std::string::npos)
        return 0.0;
    digits.erase(0, firstNonZero);
    const size_t lastNonZero = digits.find_last_not_of('0');
    pointShift += static_cast<long long>(digits.size() - 1 - lastNonZero);
    digits.erase(lastNonZero + 1);
    if (digits.size() > size_t(MaxSignificantDigits)) {
        const bool cutNonZero = digits.find_first_not_of('0', MaxSignificantDigits) != std::string::npos;
        pointShift += static_cast<long long>(digits.size() - MaxSignificantDigits);
        digits.erase(MaxSignificantDigits);
        if (cutNonZero) {
            digits.push_back('1');
            --pointShift;
        }
    }
    // pointShift is bounded by the text length, exponent by the clamp.
    const long long power = exponent + pointShift;
    const long long magnitude = power + static_cast<long long>(digits.size());

    double value;
    if (magnitude > 400) {
        value = std::numeric_limits<double>::infinity();
    } else if (magnitude < -400) {
        value = 0.0;
    } else {
        // The text has no radix character, so strtod reads it the same in
        // every locale; out of range it gives HUGE_VAL or 0, never NaN.
        digits.push_back('e');
        digits += std::to_string(power);
        value = std::strtod(digits.c_str(), nullptr);
    }
    // Underflow reads as plain 0, not -0.
    return negative && value != 0.0 ? -value : value;
}

} // namespace CommonModule
