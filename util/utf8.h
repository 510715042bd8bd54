// UTF-8, strictly: a character is the shortest form of a code point up to
// U+10FFFF that is not a surrogate. Anything else (overlong forms, encoded
// surrogates, code points above U+10FFFF, stray or missing continuation
// bytes) starts no character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One character of a UTF-8 text.
struct Utf8Char {
    char32_t code = 0;
    std::size_t length = 0; // in bytes; 0 when no character starts there
};

// The character that starts at TEXT[AT].
Utf8Char decodeUtf8(std::string_view text, std::size_t at);

// Whether the whole of TEXT is UTF-8.
bool isUtf8(std::string_view text);

// Appends CODE, a code point up to U+10FFFF, in UTF-8.
void appendUtf8(std::string& out, char32_t code);
