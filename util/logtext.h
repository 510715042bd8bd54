// Names in the log. Every record of the log is one CR LF line, and a file
// name may hold any byte but "/" and NUL, so a name is written with its
// control characters escaped: CR, LF and TAB as \r, \n and \t, every other
// character below 0x20 and DEL as \x followed by two upper-case hexadecimal
// digits. A backslash stays as it is unless it could be read as the start of
// such an escape: it is doubled when it is the name's last character or is
// followed by "r", "n", "t", "x", a backslash or a control character. So a
// reader takes \\ as one backslash, \r \n \t \xHH as above, and any other
// backslash as itself; and a name without control characters or such
// backslashes is written exactly as it is.
#pragma once

#include <string>
#include <string_view>

std::string logName(std::string_view name);

// A message nobody can see as a box, as one line for standard error (without
// its line end): "TITLE: TEXT", or TEXT alone without a title, its CR LF
// line breaks as LF.
std::string unseenMessageLine(std::string_view title, std::string_view text);
