#include "convert.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>

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

namespace {

// The length of the white-space character that starts TEXT[AT] (or ends
// just before it, with BACKWARDS), or 0 when there is none.
std::size_t spaceLength(const std::string& text, std::size_t at, bool backwards)
{
    // U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F,
    // U+205F and U+3000 in UTF-8.
    static const char* const wide[]
        = { "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83",
              "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89",
              "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80" };
    const char c = backwards ? text[at - 1] : text[at];
    if (c == ' ' || (c >= '\t' && c <= '\r'))
        return 1;
    for (const std::string_view space : wide) {
        const std::size_t start = backwards ? at - std::min(at, space.size()) : at;
        if (text.compare(start, space.size(), space) == 0 && (!backwards || start + space.size() == at))
            return space.size();
    }
    return 0;
}

} // namespace

std::string trimmedText(const std::string& text)
{
    std::size_t first = 0;
    std::size_t end = text.size();
    while (first < end) {
        const std::size_t length = spaceLength(text, first, false);
        if (length == 0)
            break;
        first += length;
    }
    while (end > first) {
        const std::size_t length = spaceLength(text, end, true);
        if (length == 0)
            break;
        end -= length;
    }
    return text.substr(first, end - first);
}
