#include "convert.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

namespace {

// A decimal number with optional sign, fraction and exponent, surrounded by
// optional blanks. Hexadecimal, "inf" and "nan" are not numbers here.
std::optional<double> parseNumber(const std::string& text)
{
    size_t i = 0, n = text.size();
    auto skipBlanks = [&] {
        while (i < n && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
    };
    auto digits = [&] {
        size_t start = i;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        return i - start;
    };
    skipBlanks();
    size_t start = i;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t mantissa = digits();
    if (i < n && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return std::nullopt;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() == 0)
            return std::nullopt;
    }
    size_t end = i;
    skipBlanks();
    if (i != n)
        return std::nullopt;
    std::string number = text.substr(start, end - start);
    errno = 0;
    double value = std::strtod(number.c_str(), nullptr);
    if (errno == ERANGE || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

double dbToLong(const std::string& text)
{
    auto value = parseNumber(text);
    if (!value)
        return 0;
    double rounded = std::nearbyint(*value); // the default rounding mode sends halves to even
    if (rounded < std::numeric_limits<std::int32_t>::min() || rounded > std::numeric_limits<std::int32_t>::max())
        return 0;
    return rounded;
}

double dbToDouble(const std::string& text)
{
    return parseNumber(text).value_or(0);
}

bool bIsNumeric(const std::string& text)
{
    return parseNumber(text).has_value();
}

std::int32_t nToggleCheck(std::int32_t value)
{
    return value == 0 ? 1 : 0;
}
