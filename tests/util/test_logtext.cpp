#include "util/logtext.h"

#include <gtest/gtest.h>

// A reader takes \\ as one backslash and any backslash not followed by
// r, n, t, x or a backslash as itself, so those rows read back unambiguously;
// \xHH is a byte, so a name that is no UTF-8 reads back byte for byte.
TEST(LogText, EscapesWhatWouldBreakOrBlurALine)
{
    struct Row {
        const char* what;
        std::string name;
        std::string logged;
    };
    const std::vector<Row> rows {
        { "ordinary", "/data/写真/a b.jpg", "/data/写真/a b.jpg" },
        { "forged line", "evil\r\n2026/01/01 00:00:00 処理終了", "evil\\r\\n2026/01/01 00:00:00 処理終了" },
        { "tab, escape, delete", "a\tb\x1B[31m\x7F", "a\\tb\\x1B[31m\\x7F" },
        { "backslash as it is", "a\\b\\0", "a\\b\\0" },
        { "backslash that reads as an escape", "C:\\new\\x41\\\\", "C:\\\\new\\\\x41\\\\\\\\" },
        { "backslash before a control", "a\\\n", "a\\\\\\n" },
        { "bytes that start no character", "a\xFF\x80\xC0\xAF\xED\xA0\x80\xE6\x97",
            "a\\xFF\\x80\\xC0\\xAF\\xED\\xA0\\x80\\xE6\\x97" },
        { "a cut sequence before a character", "\xE6\x97写", "\\xE6\\x97写" },
        { "C1 controls and separators", "nel\u0085csi\u009B[2Jls\u2028ps\u2029",
            "nel\\xC2\\x85csi\\xC2\\x9B[2Jls\\xE2\\x80\\xA8ps\\xE2\\x80\\xA9" },
        { "printable neighbours kept", "\u00A0\u00E9\u2027\u202F\U0001F600", "\u00A0\u00E9\u2027\u202F\U0001F600" },
        { "backslash before an escaped byte", "a\\\xFF\\\u0085", "a\\\\\\xFF\\\\\\xC2\\x85" },
    };
    for (const Row& row : rows)
        EXPECT_EQ(logText(row.name), row.logged) << row.what;
}
