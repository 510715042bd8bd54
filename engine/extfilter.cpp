#include "extfilter.h"

#include <cwctype>

namespace {

// Decodes one UTF-8 sequence at text[i]; returns its length, 0 when invalid.
size_t decodeUtf8(const std::string& text, size_t i, char32_t& code)
{
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    return length;
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

bool isNoExtensionEntry(const std::string& entry)
{
    return entry.empty() || entry == "\"\"";
}

} // namespace

std::string foldCase(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t code = 0;
        size_t length = decodeUtf8(text, i, code);
        if (length == 0) {
            out += text[i++];
            continue;
        }
        if (code < 0x80)
            out += static_cast<char>(code >= 'A' && code <= 'Z' ? code + ('a' - 'A') : code);
        else
            appendUtf8(out, static_cast<char32_t>(std::towlower(static_cast<wint_t>(code))));
        i += length;
    }
    return out;
}

bool ExtFilter::set(std::int32_t kind, const std::string& exts)
{
    if (kind > Exclude || exts.find_first_not_of(' ') == std::string::npos)
        return false;
    kind_ = kind;
    folded_.clear();
    size_t start = 0;
    for (;;) {
        size_t space = exts.find(' ', start);
        folded_.push_back(foldCase(exts.substr(start, space - start)));
        if (space == std::string::npos)
            break;
        start = space + 1;
    }
    return true;
}

void ExtFilter::reset()
{
    kind_ = None;
    folded_.clear();
}

bool ExtFilter::matches(const std::string& ext) const
{
    if (ext.empty()) {
        for (const auto& entry : folded_)
            if (isNoExtensionEntry(entry))
                return true;
        return false;
    }
    std::string folded = foldCase(ext);
    for (const auto& entry : folded_)
        if (entry == folded)
            return true;
    return false;
}

bool ExtFilter::passesOver(const std::string& ext) const
{
    // Any kind other than none and include-only excludes what it lists.
    if (kind_ == None)
        return false;
    return kind_ == Include ? !matches(ext) : matches(ext);
}
