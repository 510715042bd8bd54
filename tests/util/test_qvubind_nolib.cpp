#include "engine/diffcopy.h"
#include "tests/engine/recorder.h"
#include "tests/support/testsupport.h"
#include "util/paths.h"
#include "util/qvubind.h"

using testsupport::TempDir;
using testsupport::writeFile;

TEST(MissingLibrary, WrappersAnswerWithTheirFailureValues)
{
    char buf[64] = "untouched";
    EXPECT_EQ(qvu::CopyFile("/a", "/b", sizeof buf, buf), qvu::kUnboundCode);
    EXPECT_STREQ(buf, "untouched");
    EXPECT_FALSE(qvu::FullPath("", buf, sizeof buf));
    double size = 7;
    EXPECT_FALSE(qvu::FileSize("/", size));
    EXPECT_EQ(size, 7);
    EXPECT_EQ(qvu::Fopen("/etc/hostname", "r"), 0);
    EXPECT_EQ(qvu::IntDev(10, 4), 0);
    EXPECT_NE(qvu::bindError().find("libqvutil.so"), std::string::npos);
}

TEST(MissingLibrary, PathRoutinesFailQuietly)
{
    EXPECT_FALSE(bIsRootPath("/"));
    EXPECT_EQ(RootOfPath("/"), "");
    EXPECT_TRUE(bIsFolder("/"));
}

TEST(MissingLibrary, CopyIsReportedAsAnError)
{
    TempDir dir;
    writeFile(dir / "src/a", "a");
    Recorder recorder;
    DiffCopy engine(recorder);
    recorder.replies = { ErrorReply::Stop };
    EXPECT_EQ(engine.CopyNews(dir / "src", dir / "dst", 0, false), qvu::kUnboundCode);
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_NE(recorder.errors[0].find("libqvutil.so"), std::string::npos);
    EXPECT_TRUE(testsupport::namesIn(dir / "dst").empty());
}
