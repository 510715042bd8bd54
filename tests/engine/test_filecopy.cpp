#include "filecopy.h"
#include "testsupport.h"

#include <cerrno>
#include <cstring>

using testsupport::mtimeOf;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(CopyOneFile, CarriesContentAndTimes)
{
    TempDir dir;
    writeFile(dir / "src", "content", 1234);
    ASSERT_EQ(copyOneFile(dir / "src", dir / "dst").code, 0);
    EXPECT_EQ(readFile(dir / "dst"), "content");
    EXPECT_EQ(mtimeOf(dir / "dst"), 1234);
}

TEST(CopyOneFile, FailureCarriesTheSystemsText)
{
    TempDir dir;
    CopyResult result = copyOneFile(dir / "missing", dir / "dst");
    EXPECT_EQ(result.code, ENOENT);
    EXPECT_EQ(result.text, std::strerror(ENOENT));
    EXPECT_FALSE(testsupport::exists(dir / "dst"));
}

TEST(CopyTimeStamps, StampsADestinationThatCameOutNewer)
{
    TempDir dir;
    writeFile(dir / "src", "s", 1000);
    writeFile(dir / "dst", "s", 5000);
    EXPECT_TRUE(CopyTimeStamps(dir / "src", dir / "dst"));
    EXPECT_EQ(mtimeOf(dir / "dst"), 1000);
}

TEST(CopyTimeStamps, NeverHidesASourceThatChangedAfterTheCopy)
{
    TempDir dir;
    writeFile(dir / "src", "changed meanwhile", 3000);
    writeFile(dir / "dst", "copied before", 2000);
    EXPECT_FALSE(CopyTimeStamps(dir / "src", dir / "dst"));
    EXPECT_EQ(mtimeOf(dir / "dst"), 2000);
}

TEST(CopyTimeStamps, MissingFilesGiveFalse)
{
    TempDir dir;
    writeFile(dir / "src", "s", 1000);
    EXPECT_FALSE(CopyTimeStamps(dir / "src", dir / "missing"));
    EXPECT_FALSE(CopyTimeStamps(dir / "missing", dir / "src"));
}
