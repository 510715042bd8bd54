#include "engine/diffcopy.h"
#include "tests/engine/recorder.h"
#include "tests/support/testsupport.h"
#include "util/paths.h"
#include "util/qvubind.h"

using testsupport::TempDir;
using testsupport::writeFile;

TEST(MissingFunction, OthersStillWork)
{
    char buf[8] = {};
    EXPECT_TRUE(qvu::FullPath("anything", buf, sizeof buf));
    EXPECT_STREQ(buf, "/");
    EXPECT_EQ(qvu::CopyFile("/a", "/b", sizeof buf, buf), qvu::kUnboundCode);
    EXPECT_NE(qvu::bindError().find("qvuCopyFile"), std::string::npos);
}

TEST(MissingFunction, CopyErrorNamesTheFunction)
{
    TempDir dir;
    writeFile(dir / "src/a", "a");
    writeFile(dir / "src/b", "b");
    Recorder recorder;
    DiffCopy engine(recorder);
    recorder.defaultReply = ErrorReply::Skip;
    EXPECT_EQ(engine.CopyNews(dir / "src", dir / "dst", 0, false), 0);
    ASSERT_EQ(recorder.errors.size(), 2u);
    EXPECT_NE(recorder.errors[0].find("qvuCopyFile"), std::string::npos);
    EXPECT_EQ(recorder.only("checked ").size(), 2u);
}
