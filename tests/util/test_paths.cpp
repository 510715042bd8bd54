#include "tests/support/testsupport.h"
#include "util/paths.h"

using testsupport::TempDir;

TEST(PathText, BackslashRoutinesWorkWithSlash)
{
    EXPECT_EQ(AddBackslash(""), "/");
    EXPECT_EQ(AddBackslash("/"), "/");
    EXPECT_EQ(AddBackslash("/data"), "/data/");
    EXPECT_EQ(AddBackslash("/data/"), "/data/");

    EXPECT_EQ(RemoveBackslash("/"), "/");
    EXPECT_EQ(RemoveBackslash("/data/"), "/data");
    EXPECT_EQ(RemoveBackslash("/data"), "/data");
    EXPECT_EQ(RemoveBackslash(""), "");
}

TEST(PathText, ParentFolderIsEmptyAtTheTop)
{
    EXPECT_EQ(ParentFolder("/top"), "");
    EXPECT_EQ(ParentFolder("/a/b"), "/a");
    EXPECT_EQ(ParentFolder("a/b/c"), "a/b");
    EXPECT_EQ(ParentFolder("name"), "");
    EXPECT_EQ(ParentFolder(""), "");
}

TEST(PathText, ExtensionOnlyFromTheLastElement)
{
    EXPECT_EQ(ExtensionOf("/dir.old/readme"), "");
    EXPECT_EQ(ExtensionOf("a.tar.gz"), "gz");
    EXPECT_EQ(ExtensionOf(".profile"), "profile");
    EXPECT_EQ(ExtensionOf("/x/name."), "");
    EXPECT_EQ(ExtensionOf("/x/PHOTO.JPG"), "JPG");
}

TEST(PathText, FileNamePartDropsOneTrailingSlash)
{
    EXPECT_EQ(FileNamePart(""), "");
    EXPECT_EQ(FileNamePart("/data/"), "data");
    EXPECT_EQ(FileNamePart("/"), "");
    EXPECT_EQ(FileNamePart("report.txt"), "report.txt");
    EXPECT_EQ(FileNamePart("/home/user/report.txt"), "report.txt");
}

TEST(PathsOnDisk, FoldersAndReadableFiles)
{
    TempDir dir;
    testsupport::writeFile(dir / "file.txt", "x");
    EXPECT_TRUE(bIsFolder(dir.path()));
    EXPECT_FALSE(bIsFolder(dir / "file.txt"));
    EXPECT_FALSE(bIsFolder(dir / "missing"));
    EXPECT_FALSE(bIsFolder(""));

    EXPECT_TRUE(bFileExists(dir / "file.txt"));
    EXPECT_FALSE(bFileExists(dir.path()));
    EXPECT_FALSE(bFileExists(dir / "missing"));
    EXPECT_FALSE(bFileExists(""));

    chmod(dir.path().c_str(), 0755);
    chmod((dir / "file.txt").c_str(), 0600);
    std::string path = dir / "file.txt";
    EXPECT_TRUE(testsupport::asUnprivileged([&] { return !bFileExists(path); }));
}

TEST(PathsOnDisk, RootsAreSlashAndMountPoints)
{
    TempDir dir;
    EXPECT_FALSE(bIsRootPath(""));
    EXPECT_TRUE(bIsRootPath("/"));
    EXPECT_TRUE(bIsRootPath("/proc"));
    EXPECT_TRUE(bIsRootPath("/proc/"));
    EXPECT_FALSE(bIsRootPath("/proc/self/fd"));
    EXPECT_FALSE(bIsRootPath(dir.path()));
    EXPECT_FALSE(bIsRootPath(dir / "missing"));

    EXPECT_EQ(RootOfPath(""), "");
    EXPECT_EQ(RootOfPath("/"), "/");
    EXPECT_EQ(RootOfPath("/proc/self/status"), "/proc/");
    EXPECT_EQ(RootOfPath("/proc/not/there/yet"), "/proc/");
}

TEST(PathsOnDisk, MakeFolderCreatesTheWholeChain)
{
    TempDir dir;
    EXPECT_TRUE(bMakeFolder(dir / "a/b/c/"));
    EXPECT_TRUE(bIsFolder(dir / "a/b/c"));
    EXPECT_TRUE(bMakeFolder(dir / "a/b/c"));

    testsupport::writeFile(dir / "file", "in the way");
    EXPECT_FALSE(bMakeFolder(dir / "file/sub"));
    EXPECT_FALSE(bMakeFolder(dir / "file"));
    EXPECT_EQ(testsupport::readFile(dir / "file"), "in the way");

    chmod(dir.path().c_str(), 0755);
    testsupport::makeDirs(dir / "locked");
    chmod((dir / "locked").c_str(), 0555);
    std::string target = dir / "locked/x/y";
    EXPECT_TRUE(testsupport::asUnprivileged([&] { return !bMakeFolder(target); }));
}

TEST(PathsOnDisk, ShortcutIsALinkNamedDotLnk)
{
    TempDir dir;
    testsupport::makeDirs(dir / "target");
    ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "abs.lnk").c_str()), 0);
    ASSERT_EQ(symlink("target", (dir / "rel.lnk").c_str()), 0);
    testsupport::writeFile(dir / "plain.lnk", "not a link");

    EXPECT_EQ(ShortcutTarget(dir / "abs"), dir / "target");
    EXPECT_EQ(ShortcutTarget(dir / "rel"), dir / "target");
    EXPECT_EQ(ShortcutTarget(dir / "plain"), "");
    EXPECT_EQ(ShortcutTarget(dir / "missing"), "");
    EXPECT_EQ(ShortcutTarget(""), "");
}
