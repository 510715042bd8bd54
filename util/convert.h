// Small conversions between texts and numbers.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <cstdint>
#include <string>

// A numeric text's value rounded to a 32-bit whole number (halves to the even
// neighbour); 0 when the text is not numeric or the value is out of range.
double dbToLong(const std::string& text);

// A numeric text's value; 0 when the text is not numeric.
double dbToDouble(const std::string& text);

// True when the text is a decimal number (blanks around it allowed), the
// texts that dbToDouble reads.
bool bIsNumeric(const std::string& text);

// TEXT (UTF-8) without the white space around it: the characters a text box
// counts as blanks (TAB to CR, space, NEL, no-break space and the Unicode
// space, line and paragraph separators, the ideographic space among them).
std::string trimmedText(const std::string& text);

// 1 for an unchecked box (0), otherwise 0.
std::int32_t nToggleCheck(std::int32_t value);
