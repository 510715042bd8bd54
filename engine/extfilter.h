#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The extension filter of a run: none, include only the listed extensions, or
// pass over the listed ones. Extensions are compared without regard to case;
// an entry of two double quotes, or an empty entry, stands for "no extension".
class ExtFilter {
public:
    enum Kind : std::int32_t { None = 0, Include = 1, Exclude = 2 };

    // Takes the kind and the space-separated list; refused (false, filter
    // unchanged) for a kind above 2 or a blank list. The list is split at every
    // single space, so two adjacent spaces make an empty entry.
    bool set(std::int32_t kind, const std::string& exts);
    void reset();

    // True when some entry matches the extension (without its dot).
    bool matches(const std::string& ext) const;

    // True when a file with this extension is not a candidate for copying.
    bool passesOver(const std::string& ext) const;

private:
    std::int32_t kind_ = None;
    std::vector<std::string> folded_; // the entries, case-folded
};

// Lower-case form of a UTF-8 text for comparisons that ignore case; bytes that
// are not valid UTF-8 (overlong forms among them, see utf8.h) are kept as they are.
std::string foldCase(const std::string& text);
