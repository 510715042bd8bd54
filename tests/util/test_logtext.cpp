#include "logtext.h"

#include <gtest/gtest.h>
#include <random>

namespace {

// A reader of the log, as the manual page describes it.
std::string readName(const std::string& text)
{
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] != '\\' || (next != '\\' && next != 'r' && next != 'n' && next != 't' && next != 'x')) {
            name += text[i];
        } else if (next == 'x') {
            name += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            name += next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : '\\';
            ++i;
        }
    }
    return name;
}

} // namespace

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

TEST(LogName, EveryNameReadsBackAndStaysOnOneLine)
{
    const std::string alphabet = std::string("\\rntx0aB\r\n\t\x01\x1F\x7F/\xE5", 17);
    std::mt19937 random(14);
    for (int round = 0; round < 20000; ++round) {
        std::string name;
        for (int i = random() % 12; i > 0; --i)
            name += alphabet[random() % alphabet.size()];
        const std::string logged = logName(name);
        ASSERT_EQ(logged.find_first_of("\r\n"), std::string::npos) << name;
        ASSERT_EQ(readName(logged), name) << logged;
    }
}
