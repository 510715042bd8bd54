// The log. Every record of the log is one CR LF line, and a record may hold
// file names, which may hold any byte but "/" and NUL; so every record is
// written through logText, which makes it one line of UTF-8 text whose bytes
// still say exactly what the record held:
//
// - CR, LF and TAB are written as \r, \n and \t;
// - every other byte below 0x20, DEL, and every byte that starts no UTF-8
//   character (see util/utf8.h: stray continuation bytes, a sequence cut
//   short, overlong forms, surrogates, anything above U+10FFFF) is written as
//   \x followed by two upper-case hexadecimal digits;
// - the C1 controls U+0080 to U+009F and the line and paragraph separators
//   U+2028 and U+2029, which some readers take for line ends or terminal
//   commands, are written as the \xHH of each of their UTF-8 bytes
//   (U+0085 as \xC2\x85);
// - a backslash stays as it is unless it could be read as the start of such
//   an escape: it is doubled when it is the text's last character or is
//   followed by "r", "n", "t", "x", a backslash or anything written as an
//   escape;
// - everything else, valid UTF-8, is written as it is.
//
// So a reader takes \\ as one backslash, \r \n \t as CR, LF and TAB, \xHH as
// the byte HH, and any other backslash as itself, and gets back every byte of
// the record; and a text of printable UTF-8 without such backslashes is
// written exactly as it is.
#pragma once

#include <string>
#include <string_view>

std::string logText(std::string_view text);

// A message nobody can see as a box, as one line for standard error (without
// its line end): "TITLE: TEXT", or TEXT alone without a title, its CR LF
// line breaks as LF.
std::string unseenMessageLine(std::string_view title, std::string_view text);
