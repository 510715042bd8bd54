#include "utf8.h"

namespace {

bool inRange(unsigned char c, unsigned char low, unsigned char high)
{
    return c >= low && c <= high;
}

} // namespace

Utf8Char decodeUtf8(std::string_view text, std::size_t at)
{
    if (at >= text.size())
        return {};
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return { lead, 1 };
    // The second byte's range is what rules out overlong forms (E0, F0),
    // surrogates (ED) and code points above U+10FFFF (F4); C0, C1 and F5 to
    // FF could only start an overlong form or one above U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (inRange(lead, 0xC2, 0xDF)) {
        length = 2;
    } else if (inRange(lead, 0xE0, 0xEF)) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (inRange(lead, 0xF0, 0xF4)) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return {};
    }
    if (text.size() - at < length || !inRange(byte(1), low, high))
        return {};
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (i > 1 && !inRange(byte(i), 0x80, 0xBF))
            return {};
        code = (code << 6) | (byte(i) & 0x3F);
    }
    return { code, length };
}

bool isUtf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = decodeUtf8(text, at).length;
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}
