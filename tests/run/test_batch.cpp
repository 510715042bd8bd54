// Batch mode as a scheduler runs it: the program started with a copy set on
// a machine without a display, in a folder of its own.
#include "batchtest.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <unistd.h>

using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;

TEST_F(Batch, CopiesLogsEveryStepAndEndsCleanly)
{
    writeFile(src + "/a.txt", "a", 1700000000);
    writeFile(src + "/写真/b.jpg", "b", 1700000100);
    writeCopySet(dir / "job.vstl", src, dst);

    const Outcome outcome = run({ "-f", "job.vstl", "-l", "job.log" });
    EXPECT_EQ(outcome.status, 0);
    // A clean run says nothing a scheduler would mail to somebody.
    EXPECT_EQ(outcome.errors, "");
    EXPECT_EQ(readFile(dst + "/写真/b.jpg"), "b");
    EXPECT_EQ(testsupport::mtimeOf(dst + "/a.txt"), 1700000000);

    const std::vector<std::string> lines = logLines(dir / "job.log");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(std::regex_search(lines[0], kStamp));
    EXPECT_EQ(lines[0].substr(20), "処理開始");
    EXPECT_TRUE(std::regex_search(lines[1], kStamp));
    EXPECT_EQ(lines[1].substr(20), dst + "/a.txt");
    EXPECT_EQ(lines[2].substr(20), dst + "/写真/b.jpg");
    EXPECT_EQ(lines[3], "コピーが終了しました。検査ファイル数： 2 コピーした数： 2");
    EXPECT_TRUE(std::regex_search(lines[4], kStamp));
    EXPECT_EQ(lines[4].substr(20), "処理終了");

    // Nothing newer the second time; the log holds the second run only.
    EXPECT_EQ(run({ "-F", "job.vstl", "-L", "job.log" }).status, 0);
    const std::vector<std::string> again = logLines(dir / "job.log");
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[1], "コピーが終了しました。検査ファイル数： 2 コピーした数： 0");
}

TEST_F(Batch, LogsACopyErrorSkipsItAndGoesOn)
{
    // A destination file without write permission is refused, also for root.
    writeFile(src + "/a.txt", "new a", 1700000100);
    writeFile(src + "/b.txt", "b", 1700000100);
    writeFile(dst + "/a.txt", "old a", 1700000000);
    chmod((dst + "/a.txt").c_str(), 0444);
    writeCopySet(dir / "job.vstl", src, dst);

    const Outcome outcome = run({ "-f", "job.vstl", "-l", "job.log" });
    EXPECT_EQ(outcome.status, 1) << outcome.errors;
    EXPECT_EQ(readFile(dst + "/a.txt"), "old a");
    EXPECT_EQ(readFile(dst + "/b.txt"), "b");

    const std::vector<std::string> lines = logLines(dir / "job.log");
    ASSERT_EQ(lines.size(), 5u);
    // The files come in the order the folder lists them.
    const std::string error = src + "/a.txt -> " + dst + "/a.txt でエラーが発生。Permission denied";
    const bool errorFirst = lines[1] == error;
    EXPECT_EQ(lines[errorFirst ? 1 : 2], error);
    EXPECT_TRUE(std::regex_search(lines[errorFirst ? 2 : 1], kStamp));
    EXPECT_EQ(lines[errorFirst ? 2 : 1].substr(20), dst + "/b.txt");
    EXPECT_EQ(lines[3], "コピーが終了しました。検査ファイル数： 2 コピーした数： 1");
}

TEST_F(Batch, WritesTheDefaultLogInTheCurrentFolder)
{
    writeFile(src + "/a.txt", "a");
    writeCopySet(dir / "job.vstl", src, dst);
    // "-l" without a value keeps the default log.
    EXPECT_EQ(run({ "-f", "job.vstl", "-l" }).status, 0);
    EXPECT_EQ(logLines(dir / "Vestrelle.log").size(), 4u);
}

TEST_F(Batch, RefusesACommandLineWithoutACopySet)
{
    for (const std::vector<std::string>& arguments :
        { std::vector<std::string> { "--bogus" }, { "-l", "x.log", "-f" }, { "-f", "", "job.vstl" } }) {
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.errors.find("-f による設定ファイルの指定が必要です。"), std::string::npos);
        std::string given;
        for (const std::string& argument : arguments)
            given += (given.empty() ? "" : " ") + argument;
        EXPECT_NE(outcome.errors.find("与えられたパラメータ：" + given), std::string::npos) << outcome.errors;
    }
    EXPECT_FALSE(exists(dir / "Vestrelle.log"));
}

// A lone name of nothing that exists (a file manager's stale recent entry,
// a typo) is not taken for a command line without -f: the file is missing.
TEST_F(Batch, SaysThatALoneCopySetIsMissing)
{
    const Outcome outcome = run({ "job.vstl" });
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.errors.find("設定ファイル job.vstl が見つかりません。"), std::string::npos) << outcome.errors;
    EXPECT_EQ(outcome.errors.find("-f"), std::string::npos) << outcome.errors;
}

TEST_F(Batch, RefusesALogThatCannotBeCreatedAndCopiesNothing)
{
    writeFile(src + "/a.txt", "a");
    writeCopySet(dir / "job.vstl", src, dst);
    const Outcome outcome = run({ "-f", "job.vstl", "-l", dir / "missing/job.log" });
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.errors.find("指定ログファイル " + dir / "missing/job.log" + "が開けません。"), std::string::npos)
        << outcome.errors;
    EXPECT_FALSE(exists(dst));
}

TEST_F(Batch, EndsAnUnreadableCopySetWithoutADisplay)
{
    const Outcome outcome = run({ "-f", "absent.vstl", "-l", "job.log" });
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.errors.find("absent.vstl"), std::string::npos) << outcome.errors;
    EXPECT_FALSE(exists(dir / "job.log"));
}

TEST_F(Batch, LogsAJobThatTheChecksRefuse)
{
    writeCopySet(dir / "job.vstl", "", dst);
    const Outcome outcome = run({ "-f", "job.vstl", "-l", "job.log" });
    EXPECT_EQ(outcome.status, 2);
    const std::vector<std::string> lines = logLines(dir / "job.log");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "コピー元を指定して下さい");
    // The journal of the service that ran it says so too.
    EXPECT_EQ(outcome.errors, "vestrelle: コピー元を指定して下さい\n");
}

TEST_F(Batch, CallsAMissingSourceFolderAFailure)
{
    // A source on a mount that is gone must not look like a night with
    // nothing to copy.
    writeCopySet(dir / "job.vstl", dir / "unmounted", dst);
    const Outcome outcome = run({ "-f", "job.vstl", "-l", "job.log" });
    EXPECT_EQ(outcome.status, 2);
    const std::vector<std::string> lines = logLines(dir / "job.log");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "コピー元フォルダ " + dir / "unmounted" + " が見つかりません。");
    EXPECT_EQ(outcome.errors, "vestrelle: " + lines[1] + "\n");
    EXPECT_FALSE(exists(dst));
}

TEST_F(Batch, HelpAndVersionPrintAndEndWithoutALog)
{
    const std::pair<std::string, std::string> cases[] = {
        { "--help", "vestrelle -f copyset1.vstl -l /tmp/copyset1.log" },
        { "-h", "Usage: vestrelle" },
        { "--version", "vestrelle 0." },
        { "-V", "vestrelle 0." },
    };
    for (const auto& [option, printed] : cases) {
        const Outcome outcome = run({ option });
        EXPECT_EQ(outcome.status, 0) << option;
        EXPECT_NE(outcome.output.find(printed), std::string::npos) << option << ": " << outcome.output;
        EXPECT_EQ(outcome.errors, "") << option;
    }
    EXPECT_FALSE(exists(dir / "Vestrelle.log"));
}

// One argument is one token: paths with blanks, Qt's own options beside the
// program's, a copy set written by a Linux editor, and a display that the
// session left behind but nobody answers any more.
TEST_F(Batch, RunsTheCopySetWhateverTheShellAndSessionGave)
{
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        Environment environment;
        bool lfOnly;
    };
    const std::string set = dir / "my sets/photos.vstl";
    const std::string log = dir / "my log.log";
    const Case cases[] = {
        { "blanks", { "-f", set, "-l", log }, {}, false },
        { "qt options", { "-style", "fusion", "-f", set, "--reverse", "-l", log }, {}, false },
        { "lf only", { "-f", set, "-l", log }, {}, true },
        { "dead display", { "-f", set, "-l", log }, { { "DISPLAY", ":97" } }, false },
        { "wayland only", { "-f", set, "-l", log },
            { { "WAYLAND_DISPLAY", "wayland-97" }, { "XDG_RUNTIME_DIR", dir.path() } }, false },
    };
    writeFile(src + "/a.txt", "a");
    for (const Case& c : cases) {
        std::filesystem::remove_all(dst);
        writeCopySet(set, src, dst);
        if (c.lfOnly) {
            std::string text = readFile(set);
            text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
            writeFile(set, text);
        }
        const Outcome outcome = run(c.arguments, c.environment);
        EXPECT_EQ(outcome.status, 0) << c.name << ": " << outcome.errors;
        EXPECT_EQ(readFile(dst + "/a.txt"), "a") << c.name;
        EXPECT_EQ(logLines(log).size(), 4u) << c.name;
    }
}

// A folder reached twice through links is copied once; the log says where,
// and the run is still a clean one.
TEST_F(Batch, LogsAFolderReachedAgainThroughALinkAndEndsCleanly)
{
    writeFile(dir / "photos/a.jpg", "a");
    testsupport::makeDirs(src);
    ASSERT_EQ(symlink((dir / "photos").c_str(), (src + "/latest").c_str()), 0);
    ASSERT_EQ(symlink((dir / "photos").c_str(), (src + "/2026").c_str()), 0);
    writeCopySet(dir / "job.vstl", src, dst);

    EXPECT_EQ(run({ "-f", "job.vstl", "-l", "job.log" }).status, 0);
    const std::vector<std::string> lines = logLines(dir / "job.log");
    ASSERT_EQ(lines.size(), 5u);
    const bool latestFirst = exists(dst + "/latest/a.jpg");
    EXPECT_NE(latestFirst, exists(dst + "/2026/a.jpg"));
    const std::string second = latestFirst ? "/2026" : "/latest", first = latestFirst ? "/latest" : "/2026";
    EXPECT_EQ(lines[2], src + second + " は既に " + dst + first + " へコピーしたため、たどりません");
}

// A service stopped in the middle of a nightly run (SIGTERM, as systemd sends
// it; SIGINT and SIGHUP alike): the run stops as Stop does, logs why, its
// summary and its end, and leaves every file old or new and no temporary.
TEST_F(Batch, AStopSignalEndsTheRunCleanlyAndLogsIt)
{
    constexpr int kFiles = 20000;
    for (int i = 0; i < kFiles; ++i)
        writeFile(src + "/" + std::to_string(i % 100) + "/f" + std::to_string(i), "new " + std::to_string(i), 2000);
    writeCopySet(dir / "job.vstl", src, dst);
    const auto signalMidRun = [this](pid_t program) {
        // Once a hundred copies are logged, long before the run's end.
        for (int tries = 0; tries < 60000; ++tries) {
            const std::string log = testsupport::readFile(dir / "job.log");
            if (std::count(log.begin(), log.end(), '\n') > 100)
                break;
            usleep(1000);
        }
        kill(program, SIGTERM);
    };
    const Outcome outcome = run({ "-f", "job.vstl", "-l", "job.log" }, {}, signalMidRun);
    EXPECT_EQ(outcome.status, 1);

    const std::vector<std::string> lines = logLines(dir / "job.log");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(
        std::find(lines.begin(), lines.end(), "シグナル SIGTERM を受けたため、処理を中断します") != lines.end());
    EXPECT_EQ(lines[lines.size() - 2].rfind("コピーを中断しました。", 0), 0u) << lines[lines.size() - 2];
    EXPECT_EQ(lines.back().substr(20), "処理終了");
    size_t copied = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string folder = std::to_string(i % 100);
        const std::string name = "f" + std::to_string(i);
        if (testsupport::exists(dst + "/" + folder + "/" + name)) {
            ASSERT_EQ(readFile(dst + "/" + folder + "/" + name), "new " + std::to_string(i));
            ++copied;
        }
    }
    EXPECT_LT(copied, static_cast<size_t>(kFiles));
    for (int f = 0; f < 100; ++f)
        for (const std::string& name : testsupport::namesIn(dst + "/" + std::to_string(f)))
            EXPECT_NE(name[0], '.') << name;
}

// The window sent a stop signal (a desktop session ending) closes as its
// close box does, and the program ends normally. Without a font for its
// Japanese captions it says so once on standard error.
TEST_F(Batch, AStopSignalClosesTheWindow)
{
    writeCopySet(dir / "job.vstl", src, dst);
    const std::string noFonts = dir / "fonts.conf";
    writeFile(noFonts,
        "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + dir / "no-fonts" + "</dir><cachedir>" + dir / "cache"
            + "</cachedir></fontconfig>\n");
    const std::string settings = dir / "config/Quorvane/Vestrelle.conf";
    const auto signalOnceOpen = [&settings](pid_t program) {
        // The window has opened the copy set once it is a recent file.
        for (int tries = 0; tries < 30000; ++tries) {
            if (readFile(settings).find("job.vstl") != std::string::npos)
                break;
            usleep(1000);
        }
        kill(program, SIGTERM);
    };
    for (const bool fonts : { true, false }) {
        std::remove(settings.c_str());
        Environment environment { { "QT_QPA_PLATFORM", "offscreen" } };
        if (!fonts)
            environment.emplace_back("FONTCONFIG_FILE", noFonts);
        const Outcome outcome = run({ "job.vstl" }, environment, signalOnceOpen);
        EXPECT_EQ(outcome.status, 0) << outcome.errors;
        const std::string warning = "vestrelle: 日本語を表示できるフォントがありません。";
        EXPECT_EQ(outcome.errors.find(warning) != std::string::npos, !fonts) << outcome.errors;
    }
}

TEST_F(Batch, RuinedSourceIsCopiedButEveryOriginalIsKeptAndTheRunWarns)
{
    // A thousand photos backed up, then all of them rewritten by ransomware.
    constexpr int kFiles = 1000;
    const auto name = [](int i) { return "/" + std::to_string(i % 10) + "/photo" + std::to_string(i) + ".jpg"; };
    const auto original = [](int i) { return "original " + std::to_string(i) + std::string(i % 300, 'x'); };
    for (int i = 0; i < kFiles; ++i)
        writeFile(src + name(i), original(i), 1700000000);
    writeCopySet(dir / "job.vstl", src, dst, "reg\tKeepReplaced\t1\t30\tdays\r\n");
    ASSERT_EQ(run({ "-f", "job.vstl", "-l", "job.log" }).status, 0);
    ASSERT_FALSE(exists(dst + "/.vestrelle-versions"));

    for (int i = 0; i < kFiles; ++i)
        writeFile(src + name(i), "\x8f\x03garbage " + std::to_string(i * 7919), 1700000500);
    const Outcome outcome = run({ "-f", "job.vstl", "-l", "job.log" });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(
        outcome.errors.find("警告：コピー先にあったファイル 1000 個のうち 1000 個を置き換えました"), std::string::npos)
        << outcome.errors;

    const std::vector<std::string> runs = testsupport::namesIn(dst + "/.vestrelle-versions");
    ASSERT_EQ(runs.size(), 1u);
    const std::string kept = dst + "/.vestrelle-versions/" + runs[0];
    for (int i = 0; i < kFiles; ++i) {
        ASSERT_EQ(readFile(dst + name(i)), "\x8f\x03garbage " + std::to_string(i * 7919));
        ASSERT_EQ(readFile(kept + name(i)), original(i));
    }
    const std::vector<std::string> lines = logLines(dir / "job.log");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(
        lines[lines.size() - 3], "コピーが終了しました。検査ファイル数： 1000 コピーした数： 1000 退避した数： 1000");
    EXPECT_EQ(lines[lines.size() - 2].rfind("警告：", 0), 0u);
}
