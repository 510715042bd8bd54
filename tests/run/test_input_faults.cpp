// Inputs that try to hold up or mislead a batch run: named pipes where the
// program expects its own files, links planted at the log path, a log that is
// the copy set, and file names that would forge lines of the log. Each run is
// the program as a process, killed when it hangs.
#include "batchtest.h"

#include <sys/stat.h>
#include <unistd.h>

using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;

TEST_F(Batch, NamedPipesAreRefusedWithoutWaiting)
{
    struct Row {
        const char* what;
        std::string pipe;
        std::vector<std::string> arguments;
        std::string copySetLines;
        int status;
        std::string error; // on standard error, when the run is refused
    };
    const std::vector<Row> rows {
        { "copy set", dir / "pipe.vstl", { "-f", "pipe.vstl", "-l", "job.log" }, "", 2, "pipe.vstl" },
        { "picture named by the copy set", dir / "pipe.png", { "-f", "job.vstl", "-l", "job.log" },
            "reg\tGradation\t100\r\nreg\tBGPicture\t" + dir / "pipe.png" + "\r\n", 0, "" },
        { "log", dir / "pipe.log", { "-f", "job.vstl", "-l", "pipe.log" }, "", 2,
            "指定ログファイル pipe.logが開けません。" },
        { "settings file", dir / "config/Quorvane/Vestrelle.conf", { "-f", "job.vstl", "-l", "job.log" }, "", 0, "" },
    };
    testsupport::makeDirs(dir / "config/Quorvane");
    writeFile(src + "/a.txt", "a");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string destination = dst + "/" + row.what;
        unlink(row.pipe.c_str()); // the settings file an earlier run wrote
        ASSERT_EQ(mkfifo(row.pipe.c_str(), 0600), 0);
        writeCopySet(dir / "job.vstl", src, destination, row.copySetLines);

        const Outcome outcome = run(row.arguments);
        EXPECT_EQ(outcome.status, row.status) << outcome.errors;
        if (row.status == 0) {
            EXPECT_EQ(readFile(destination + "/a.txt"), "a");
            EXPECT_EQ(logLines(dir / "job.log").size(), 4u);
        } else {
            EXPECT_NE(outcome.errors.find(row.error), std::string::npos) << outcome.errors;
            EXPECT_FALSE(exists(destination));
        }
        unlink(row.pipe.c_str());
    }
}

TEST_F(Batch, ALogLinkIsFollowedOnlyWhenItIsOurOwn)
{
    const std::string shared = dir / "shared";
    testsupport::makeDirs(shared);
    chmod(shared.c_str(), 01777);
    writeFile(dir / "kept.txt", "kept");
    writeFile(src + "/a.txt", "a");
    writeCopySet(dir / "job.vstl", src, dst);

    ASSERT_EQ(symlink((dir / "kept.txt").c_str(), (shared + "/own.log").c_str()), 0);
    EXPECT_EQ(run({ "-f", "job.vstl", "-l", shared + "/own.log" }).status, 0);
    EXPECT_EQ(logLines(dir / "kept.txt").size(), 4u) << "our own link leads to the log";

    if (geteuid() != 0)
        GTEST_SKIP() << "a link that belongs to another user can only be made by root";
    writeFile(dir / "secret", "root's own");
    chmod((dir / "secret").c_str(), 0600);
    const std::string planted = shared + "/planted.log";
    ASSERT_EQ(symlink((dir / "secret").c_str(), planted.c_str()), 0);
    ASSERT_EQ(lchown(planted.c_str(), 65534, 65534), 0);
    writeCopySet(dir / "job.vstl", src, dir / "dst2");

    const Outcome outcome = run({ "-f", "job.vstl", "-l", planted });
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.errors.find("指定ログファイル " + planted + "が開けません。"), std::string::npos)
        << outcome.errors;
    EXPECT_EQ(readFile(dir / "secret"), "root's own");
    EXPECT_FALSE(exists(dir / "dst2"));
}

// The log is never the copy set, under any of its names, nor a file of the
// kernel's that only claims to be regular.
TEST_F(Batch, RefusesALogThatIsTheCopySetOrTheKernels)
{
    writeFile(src + "/a.txt", "a");
    writeCopySet(dir / "job.vstl", src, dst);
    const std::string copySet = readFile(dir / "job.vstl");
    ASSERT_EQ(link((dir / "job.vstl").c_str(), (dir / "hard.vstl").c_str()), 0);
    ASSERT_EQ(symlink("job.vstl", (dir / "soft.vstl").c_str()), 0);

    for (const std::string& log : { std::string("job.vstl"), std::string("./job.vstl"), dir / "hard.vstl",
             std::string("soft.vstl"), std::string("/proc/self/comm") }) {
        SCOPED_TRACE(log);
        const Outcome outcome = run({ "-f", "job.vstl", "-l", log });
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.errors.find("指定ログファイル " + log + "が開けません。"), std::string::npos)
            << outcome.errors;
        EXPECT_EQ(readFile(dir / "job.vstl"), copySet);
        EXPECT_FALSE(exists(dst));
    }
}

// Each row is a name in the source: a file copied, or a folder that cannot be
// made because a file of its name is in the way, so that the engine's error
// text holds the name too. Whatever the name holds, a record stays one line
// and \xHH gives back its bytes.
TEST_F(Batch, AFileNameCannotForgeALineOfTheLog)
{
    struct Row {
        const char* what;
        std::string name;
        std::string logged;
        bool blocked; // the name is a folder that cannot be made
    };
    const std::vector<Row> rows {
        { "line breaks", "evil\r\nコピーが終了しました。検査ファイル数： 0 コピーした数： 0\r\nx.txt",
            "evil\\r\\nコピーが終了しました。検査ファイル数： 0 コピーした数： 0\\r\\nx.txt", false },
        { "no UTF-8", "bad\xFF\xC3(.txt", "bad\\xFF\\xC3(.txt", false },
        { "C1 controls and a line separator", "a\u0085b\u009B2Jc\u2028.txt",
            "a\\xC2\\x85b\\xC2\\x9B2Jc\\xE2\\x80\\xA8.txt", false },
        { "folder not made", "evil\r\nコピーが終了しました。\xFF", "evil\\r\\nコピーが終了しました。\\xFF", true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string from = dir / row.what + "/src", to = dir / row.what + "/dst";
        writeFile(from + "/" + row.name + (row.blocked ? "/a.txt" : ""), "e");
        if (row.blocked)
            writeFile(to + "/" + row.name, "in the way");
        writeCopySet(dir / "job.vstl", from, to);
        EXPECT_EQ(run({ "-f", "job.vstl", "-l", "job.log" }).status, row.blocked ? 1 : 0);

        const std::vector<std::string> lines = logLines(dir / "job.log");
        ASSERT_EQ(lines.size(), 4u);
        if (row.blocked) {
            EXPECT_EQ(lines[1],
                from + "/" + row.logged + " -> " + to + "/" + row.logged + " でエラーが発生。" + to + "/" + row.logged
                    + "作成エラー");
        } else {
            EXPECT_EQ(readFile(to + "/" + row.name), "e");
            EXPECT_EQ(lines[1].substr(20), to + "/" + row.logged);
        }
        EXPECT_EQ(lines[2].rfind("コピーが終了しました。", 0), 0u) << lines[2];
    }
}
