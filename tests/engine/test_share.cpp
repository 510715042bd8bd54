// Runs onto a network share, where the run learns from one listing of each
// destination folder which files are there and looks up only those.
#include "recorder.h"
#include "tests/support/sshfsshare.h"

#include <sys/stat.h>

using testsupport::readFile;
using testsupport::writeFile;

TEST(ShareRun, DecidesAsOnALocalDisk)
{
    testsupport::TempDir dir;
    testsupport::SshfsShare share(dir / "share");
    if (share.unavailable())
        GTEST_SKIP() << share.whyNot();
    ASSERT_EQ(share.whyNot(), "");
    const std::string src = dir / "src";
    const std::string dst = share.mountPoint() + "/dst";
    struct Row {
        const char* name;
        std::int64_t dstTime; // 0: no destination file
        mode_t dstMode;
        bool copied;
    };
    const Row rows[] = {
        { "missing", 0, 0, true },
        { "older", 1000, 0644, true },
        { "same", 2000, 0644, false },
        { "newer", 3000, 0644, false },
        { "readonly", 1000, 0444, false },
    };
    mkdir(dst.c_str(), 0755);
    for (const Row& row : rows) {
        writeFile(src + "/" + row.name, std::string("new ") + row.name, 2000);
        if (row.dstTime) {
            writeFile(dst + "/" + row.name, "old", row.dstTime);
            chmod((dst + "/" + row.name).c_str(), row.dstMode);
        }
    }
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        Recorder recorder;
        DiffCopy engine(recorder);
        EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
        for (const Row& row : rows) {
            const bool copied = run == 0 && row.copied;
            const std::string event
                = (copied ? "copied " : "checked ") + src + "/" + row.name + " -> " + dst + "/" + row.name;
            EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), event), 1) << row.name;
            EXPECT_EQ(readFile(dst + "/" + row.name), row.copied ? std::string("new ") + row.name : "old") << row.name;
        }
        EXPECT_EQ(recorder.errors.size(), 1u); // the read-only file, each run
    }
}
