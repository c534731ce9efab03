#include "platform/numbers.h"

#include "platform/errors.h"

#include <charconv>
#include <cfloat>
#include <cmath>
#include <limits>

namespace platform {

namespace {

// Enough for a 7-digit float in exponent form ("-1.234568E-38").
constexpr int kTextBufferSize = 32;
// A float carries about 7 significant decimal digits; more would show noise.
constexpr int kSingleSignificantDigits = 7;

template <class Int>
std::string integerText(Int v)
{
    char buffer[kTextBufferSize];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Decimal text with optional blanks around it, an optional sign, a fraction
// and an exponent. std::from_chars ignores the locale, so a stored "1.5"
// reads the same whatever the user's decimal separator is.
double parseNumber(const std::string& text)
{
    const char* first = text.data();
    const char* last = first + text.size();
    while (first != last && isBlank(*first))
        ++first;
    while (last != first && isBlank(last[-1]))
        --last;

    const bool negative = first != last && *first == '-';
    if (first != last && (*first == '-' || *first == '+'))
        ++first;
    // Only digits or a point may follow the sign: this keeps out "inf", "nan"
    // and a second sign, which from_chars would otherwise take.
    if (first == last || !(isDigit(*first) || *first == '.'))
        throw RuntimeError(TypeMismatch);

    double value = 0;
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc::invalid_argument || result.ptr != last)
        throw RuntimeError(TypeMismatch);
    // Beyond a double either way (overflow or underflow): it cannot be held.
    if (result.ec == std::errc::result_out_of_range)
        throw RuntimeError(Overflow);
    return negative ? -value : value;
}

} // namespace

int32_t whole(double v)
{
    // nearbyint follows the current rounding mode, which nothing here changes
    // from round-to-nearest-even.
    const double rounded = std::nearbyint(v);
    if (!(rounded >= std::numeric_limits<int32_t>::min() && rounded <= std::numeric_limits<int32_t>::max()))
        throw RuntimeError(Overflow); // also NaN, which fails both comparisons
    return static_cast<int32_t>(rounded);
}

int16_t narrowToInt16(int64_t v)
{
    if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max())
        throw RuntimeError(Overflow);
    return static_cast<int16_t>(v);
}

int32_t checkedProduct(int32_t a, int32_t b)
{
    const int64_t product = static_cast<int64_t>(a) * b;
    if (product < std::numeric_limits<int32_t>::min() || product > std::numeric_limits<int32_t>::max())
        throw RuntimeError(Overflow);
    return static_cast<int32_t>(product);
}

int32_t intDiv(int32_t a, int32_t b)
{
    if (b == 0)
        throw RuntimeError(DivisionByZero);
    // The one quotient that does not fit: -2147483648 \ -1.
    if (a == std::numeric_limits<int32_t>::min() && b == -1)
        throw RuntimeError(Overflow);
    return a / b;
}

std::string toText(int16_t v)
{
    return integerText(v);
}

std::string toText(int32_t v)
{
    return integerText(v);
}

std::string toText(float v)
{
    // -0 prints as "0": nobody wants to read a sign on nothing.
    if (v == 0)
        return "0";
    char buffer[kTextBufferSize];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general,
                                      kSingleSignificantDigits);
    std::string text(buffer, result.ptr);
    // The classic form writes the exponent with a capital E ("1E+10").
    const auto exponent = text.find('e');
    if (exponent != std::string::npos)
        text[exponent] = 'E';
    return text;
}

int16_t toInt16(const std::string& text)
{
    return narrowToInt16(whole(parseNumber(text)));
}

float toSingle(const std::string& text)
{
    const double value = parseNumber(text);
    if (std::fabs(value) > FLT_MAX)
        throw RuntimeError(Overflow);
    return static_cast<float>(value);
}

} // namespace platform
