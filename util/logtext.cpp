#include "logtext.h"

#include "utf8.h"

#include <algorithm>

namespace {

// How many bytes of the character at TEXT[AT] are written as they are: all
// of a printable character, none of one written as escapes.
std::size_t plainLength(std::string_view text, std::size_t at)
{
    const Utf8Char c = decodeUtf8(text, at);
    const bool control = c.code < 0x20 || (c.code >= 0x7F && c.code <= 0x9F) || c.code == 0x2028 || c.code == 0x2029;
    return control ? 0 : c.length;
}

bool startsAnEscape(std::string_view text, std::size_t at)
{
    const char c = text[at];
    return c == 'r' || c == 'n' || c == 't' || c == 'x' || c == '\\' || plainLength(text, at) == 0;
}

} // namespace

std::string logText(std::string_view text)
{
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string logged;
    logged.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '\\') {
            logged += '\\';
            if (i + 1 == text.size() || startsAnEscape(text, i + 1))
                logged += '\\';
            ++i;
        } else if (const std::size_t plain = plainLength(text, i); plain > 0) {
            logged.append(text, i, plain);
            i += plain;
        } else if (c == '\r') {
            logged += "\\r";
            ++i;
        } else if (c == '\n') {
            logged += "\\n";
            ++i;
        } else if (c == '\t') {
            logged += "\\t";
            ++i;
        } else {
            // A control character is escaped byte by byte, and so is a byte
            // that starts no character: the next byte may start one.
            const std::size_t length = std::max<std::size_t>(decodeUtf8(text, i).length, 1);
            for (std::size_t end = i + length; i < end; ++i) {
                const auto byte = static_cast<unsigned char>(text[i]);
                logged += "\\x";
                logged += kHexDigits[byte >> 4];
                logged += kHexDigits[byte & 0xF];
            }
        }
    }
    return logged;
}

std::string unseenMessageLine(std::string_view title, std::string_view text)
{
    std::string line = title.empty() ? std::string(text) : std::string(title) + ": " + std::string(text);
    for (std::size_t at = 0; (at = line.find("\r\n", at)) != std::string::npos; ++at)
        line.erase(at, 1);
    return line;
}
