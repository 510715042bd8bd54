#include "extfilter.h"

#include "util/utf8.h"

#include <cwctype>

namespace {

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
        const Utf8Char c = decodeUtf8(text, i);
        if (c.length == 0) {
            out += text[i++];
            continue;
        }
        if (c.code < 0x80)
            out += static_cast<char>(c.code >= 'A' && c.code <= 'Z' ? c.code + ('a' - 'A') : c.code);
        else
            appendUtf8(out, static_cast<char32_t>(std::towlower(static_cast<wint_t>(c.code))));
        i += c.length;
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
