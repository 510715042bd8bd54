#include "util/logtext.h"

#include <gtest/gtest.h>

// A reader takes \\ as one backslash and any backslash not followed by
// r, n, t, x or a backslash as itself, so those rows read back unambiguously.
TEST(LogName, EscapesWhatWouldBreakOrBlurALine)
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
    };
    for (const Row& row : rows)
        EXPECT_EQ(logName(row.name), row.logged) << row.what;
}
