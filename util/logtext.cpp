#include "logtext.h"

namespace {

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

bool startsAnEscape(char c)
{
    return c == 'r' || c == 'n' || c == 't' || c == 'x' || c == '\\' || isControl(static_cast<unsigned char>(c));
}

} // namespace

std::string logName(std::string_view name)
{
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == '\\') {
            text += '\\';
            if (i + 1 == name.size() || startsAnEscape(name[i + 1]))
                text += '\\';
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (isControl(c)) {
            text += "\\x";
            text += kHexDigits[c >> 4];
            text += kHexDigits[c & 0xF];
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

std::string unseenMessageLine(std::string_view title, std::string_view text)
{
    std::string line = title.empty() ? std::string(text) : std::string(title) + ": " + std::string(text);
    for (std::size_t at = 0; (at = line.find("\r\n", at)) != std::string::npos; ++at)
        line.erase(at, 1);
    return line;
}
