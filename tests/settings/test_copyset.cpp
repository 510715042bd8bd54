#include "settings/copyset.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

using Lines = std::vector<std::vector<std::string>>;

const std::string replacement = "\xEF\xBF\xBD"; // U+FFFD

CopyJob workedExample()
{
    CopyJob values;
    values.source = "C:\\Work";
    values.destination = "D:\\Backup";
    values.subfolders = true;
    values.tolerate = true;
    values.tolerance = "2";
    values.makeFolder = false;
    values.filtered = true;
    values.filterKind = FilterKind::Exclude;
    values.filterList = "doc ppt xls";
    values.gradation = -1;
    values.picture = "";
    values.labelColor = 0;
    return values;
}

// The twelve lines a reader should see for VALUES, when they are storable.
Lines expectedLines(const CopyJob& v)
{
    const auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    const std::string kind = v.filterKind == FilterKind::Include ? "採用"
        : v.filterKind == FilterKind::Exclude                    ? "除外"
                                                                 : "";
    return { { "cmbSrc", v.source }, { "cmbDst", v.destination }, { "chkSubDir", flag(v.subfolders) },
        { "chkIgn", flag(v.tolerate) }, { "editIgn", v.tolerance }, { "chkMakeDir", flag(v.makeFolder) },
        { "chkFilter", flag(v.filtered) }, { "lbFilterKind", kind }, { "lbFilter", v.filterList },
        { "reg", "Gradation", std::to_string(v.gradation) }, { "reg", "BGPicture", v.picture },
        { "reg", "LabelColor", std::to_string(v.labelColor) } };
}

std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace

TEST(CopySetFormat, WritesTheWorkedExampleByteForByte)
{
    EXPECT_EQ(formatCopySet(workedExample()),
        "cmbSrc\tC:\\Work\r\n"
        "cmbDst\tD:\\Backup\r\n"
        "chkSubDir\t1\r\n"
        "chkIgn\t1\r\n"
        "editIgn\t2\r\n"
        "chkMakeDir\t0\r\n"
        "chkFilter\t1\r\n"
        "lbFilterKind\t除外\r\n"
        "lbFilter\tdoc ppt xls\r\n"
        "reg\tGradation\t-1\r\n"
        "reg\tBGPicture\t\r\n"
        "reg\tLabelColor\t0\r\n");
}

TEST(CopySetFormat, AllTwelveValuesReadBack)
{
    EXPECT_EQ(readCopySetLines(formatCopySet(workedExample())), expectedLines(workedExample()));

    // A lone LF stays inside its line, so it is storable; NUL and spaces too.
    CopyJob odd;
    odd.source = " /home/写真/2024 ";
    odd.destination = "/mnt/a\nb";
    odd.subfolders = false;
    odd.tolerate = true;
    odd.tolerance = "1.5e3x";
    odd.makeFolder = true;
    odd.filtered = false;
    odd.filterKind = FilterKind::Include;
    odd.filterList = "\"\" txt  😀";
    odd.gradation = INT_MIN;
    odd.picture = std::string("/pics/\0sky.png", 14);
    odd.labelColor = INT_MAX;
    ASSERT_TRUE(copyJobStorable(odd));
    EXPECT_EQ(readCopySetLines(formatCopySet(odd)), expectedLines(odd));
    // And as a job: every value comes back.
    EXPECT_EQ(readCopySet(formatCopySet(odd)), odd);
}

TEST(CopySetFormat, ValuesThatWouldNotReadBackAreRefusedAndCannotBreakTheFile)
{
    EXPECT_TRUE(copyJobStorable(workedExample()));
    for (const std::string bad : { "a\rb", "a\tb", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "ab\xE6\x97" }) {
        for (std::string CopyJob::*field :
            { &CopyJob::source, &CopyJob::destination, &CopyJob::tolerance, &CopyJob::filterList, &CopyJob::picture }) {
            CopyJob values = workedExample();
            values.*field = bad;
            EXPECT_FALSE(copyJobStorable(values)) << bad;
        }
    }

    // Written anyway: the CR may not start a line that clears chkSubDir, and
    // the stray byte may not turn the file into Shift-JIS, which would garble
    // 除外 and the other Japanese texts.
    CopyJob values = workedExample();
    values.source = "/tmp/x\rchkSubDir\t0";
    values.destination = "/mnt/\xFF日本";
    values.picture = "a\tb";
    Lines expected = expectedLines(workedExample());
    expected[0][1] = "/tmp/x" + replacement + "chkSubDir" + replacement + "0";
    expected[1][1] = "/mnt/" + replacement + "日本";
    expected[10][2] = "a" + replacement + "b";
    EXPECT_EQ(readCopySetLines(formatCopySet(values)), expected);
}

TEST(CopySetLines, LineEndsAndFields)
{
    // CR, CR LF and the end of the text end a line; a lone LF does not.
    EXPECT_EQ(splitCopySetLines("a\t1\rb\t2\r\nc\t3\nd\t4\r\r\ne\t5"),
        (Lines { { "a", "1" }, { "b", "2" }, { "c", "3\nd", "4" }, { "e", "5" } }));
    EXPECT_EQ(splitCopySetLines("cmbSrc\t\r"), (Lines { { "cmbSrc", "" } }));
    // A text without any CR is read with LF line ends, as Linux editors write it.
    EXPECT_EQ(splitCopySetLines("\n\tx\ncmbSrc\t/a b\nchkSubDir\t1"),
        (Lines { { "", "x" }, { "cmbSrc", "/a b" }, { "chkSubDir", "1" } }));
    EXPECT_EQ(splitCopySetLines("cmbSrc\t/a\ncmbDst\t/b\r"), (Lines { { "cmbSrc", "/a\ncmbDst", "/b" } }));

    // Every further TAB makes a field, empty ones included.
    EXPECT_EQ(splitCopySetLines("reg\tGradation\t5\textra\t\r\n\t\r\n"),
        (Lines { { "reg", "Gradation", "5", "extra", "" }, { "", "" } }));

    // Lines without a TAB never count, whatever they hold.
    EXPECT_EQ(splitCopySetLines("cmbSrc\r\n; comment\r\n\r\n\r\nchkIgn 1\nchkSubDir\t1"),
        (Lines { { "chkIgn 1\nchkSubDir", "1" } }));
    EXPECT_EQ(readCopySetLines(""), Lines {});
    EXPECT_EQ(readCopySetLines("\r\n\r\r"), Lines {});
}

TEST(CopySetText, ReadsUtf8AsIsAndShiftJisOtherwise)
{
    // 除 = 8F 9C, 外 = 8A 4F; 0x5C stays a backslash in code page 932; B6 C5
    // are the half-width ｶﾅ.
    EXPECT_EQ(readCopySetLines("lbFilterKind\t\x8F\x9C\x8A\x4F\r\ncmbSrc\tC:\\\x8D\xEC\x8B\xC6\xB6\xC5\r\n"),
        (Lines { { "lbFilterKind", "除外" }, { "cmbSrc", "C:\\作業ｶﾅ" } }));

    // Strict UTF-8 is taken as it is, up to U+10FFFF.
    for (const std::string& text : std::vector<std::string> { "除外", "😀", "\xF4\x8F\xBF\xBF", std::string("a\0b", 3) })
        EXPECT_EQ(decodeCopySetText(text), text);

    // An overlong form, a surrogate and a code point above U+10FFFF are not
    // UTF-8, so those bytes are read as code page 932.
    EXPECT_EQ(decodeCopySetText("\xC0\xAF"), "ﾀｯ");
    EXPECT_EQ(decodeCopySetText("\xED\xA0\x80"), "恝" + replacement);
    EXPECT_EQ(decodeCopySetText("\xF4\x90\x80\x80"), "\xEE\x8C\xBF" + replacement + replacement);

    // A UTF-8 byte-order mark goes, before either reading; only at the start.
    const std::string mark = "\xEF\xBB\xBF";
    EXPECT_EQ(readCopySetLines(mark + "cmbSrc\t除外"), (Lines { { "cmbSrc", "除外" } }));
    EXPECT_EQ(readCopySetLines(mark + "cmbSrc\t\x8F\x9C"), (Lines { { "cmbSrc", "除" } }));
    EXPECT_EQ(decodeCopySetText("a" + mark), "a" + mark);
    EXPECT_EQ(decodeCopySetText(mark), "");
}

TEST(CopySetText, BytesThatAreNeitherUtf8NorShiftJisBecomeReplacements)
{
    // Each undecodable byte is one U+FFFD and the next byte is read on its
    // own, so a lead byte before a CR does not swallow the line end.
    EXPECT_EQ(readCopySetLines("cmbSrc\t\x81\r\ncmbDst\t\x80x\xFF\xA0\r\nchkIgn\t\x85\x40\r\neditIgn\t\x81"),
        (Lines { { "cmbSrc", replacement }, { "cmbDst", replacement + "x" + replacement + replacement },
            { "chkIgn", replacement + "@" }, { "editIgn", replacement } }));

    // Long enough that the converter's output fills up several times over.
    std::string sjis, utf8;
    for (int i = 0; i < 5000; ++i) {
        sjis += "\x8F\x9C\xFF";
        utf8 += "除" + replacement;
    }
    EXPECT_EQ(decodeCopySetText(sjis), utf8);
}

// Every file under regressions/ once troubled a reader or stands for an input
// that could (a lone CR at the end, a lead byte at the end, bad UTF-8 leads):
// each must read without harm, into lines that keep to the format's rules.
TEST(CopySetText, RegressionInputsReadCleanly)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(REGRESSIONS_DIR)) {
        if (entry.path().filename().string().rfind("copyset-", 0) != 0)
            continue;
        ++files;
        const std::string bytes = fileBytes(entry.path());
        // Valid UTF-8 decodes to itself, so a second decoding shows whether
        // the first produced it (unless it starts with a mark to drop).
        const std::string text = decodeCopySetText(bytes);
        if (text.rfind("\xEF\xBB\xBF", 0) != 0) {
            EXPECT_EQ(decodeCopySetText(text), text) << entry.path() << ": not UTF-8 after decoding";
        }
        // No code page 932 character holds a control byte: decoding may not
        // move or swallow a line end or a field.
        for (const char c : { '\r', '\n', '\t' })
            EXPECT_EQ(std::count(text.begin(), text.end(), c), std::count(bytes.begin(), bytes.end(), c))
                << entry.path();
        for (const std::vector<std::string>& fields : readCopySetLines(bytes)) {
            EXPECT_GE(fields.size(), 2U) << entry.path();
            for (const std::string& field : fields)
                EXPECT_EQ(field.find_first_of("\r\t"), std::string::npos) << entry.path();
        }
    }
    EXPECT_GT(files, 0) << "no copyset-* files in " << REGRESSIONS_DIR;
}

TEST(CopySetJob, LinesApplyOverTheJobTheyAreReadInto)
{
    CopyJob start;
    start.destination = "/kept";
    start.gradation = 3;
    const CopyJob job = readCopySet("CMBSRC\t/a\r\nchksubdir\t0.4\r\nchkMakeDir\t-0.6\r\nlbFilterKind\tどれか\r\n"
                                    "reg\tlabelcolor\t5\r\nreg\tLabelColor\r\nlbMsg\tx\r\ncmbSrc\t/b\r\n",
        start);
    EXPECT_EQ(job.source, "/b"); // the later line wins
    EXPECT_EQ(job.destination, "/kept");
    EXPECT_FALSE(job.subfolders); // 0.4 rounds to 0
    EXPECT_TRUE(job.makeFolder); // -0.6 rounds to -1
    EXPECT_EQ(job.filterKind, FilterKind::Exclude); // anything but 採用 excludes
    EXPECT_NE(formatCopySet(job).find("lbFilterKind\tどれか\r\n"), std::string::npos); // and is written back
    EXPECT_EQ(job.labelColor, 0); // setting names keep their case
    EXPECT_EQ(job.gradation, 3);
    EXPECT_EQ(readCopySet("lbFilterKind\t採用\r\nlbFilterKind\t\r\n").filterKind, FilterKind::None);
}

TEST(CopySetKeep, KeepReplacedLine)
{
    const std::string twelve = formatCopySet(workedExample());
    const struct {
        const char* name;
        const char* line; // after the twelve lines
        KeepReplaced read;
    } cases[] = {
        { "none", "", KeepReplaced {} },
        { "days", "reg\tKeepReplaced\t1\t30\tdays\r\n", KeepReplaced { true, 30, false } },
        { "runs", "reg\tKeepReplaced\t1\t7\truns\r\n", KeepReplaced { true, 7, true } },
        { "on alone keeps the span", "reg\tKeepReplaced\t1\r\n", KeepReplaced { true, 30, false } },
        { "a count below 1 keeps the span", "reg\tKeepReplaced\t1\t0\truns\r\n", KeepReplaced { true, 30, true } },
        { "off", "reg\tKeepReplaced\t0\t5\tdays\r\n", KeepReplaced { false, 5, false } },
        { "setting names keep their case", "reg\tkeepreplaced\t1\r\n", KeepReplaced {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CopyJob job = readCopySet(twelve + c.line);
        EXPECT_EQ(job.keep, c.read);
        // The rest of the job reads as without the line.
        CopyJob rest = job;
        rest.keep = {};
        EXPECT_EQ(rest, readCopySet(twelve));
        // Written back: as read when on, not at all when off.
        const std::string written = formatCopySet(job);
        EXPECT_EQ(readCopySet(written).keep.on, c.read.on);
        if (c.read.on)
            EXPECT_EQ(readCopySet(written).keep, c.read);
        else
            EXPECT_EQ(written, twelve);
    }
}
