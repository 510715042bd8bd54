#include "engine/sourcecount.h"
#include "tests/support/testsupport.h"

#include <future>
#include <gtest/gtest.h>
#include <unistd.h>

using testsupport::writeFile;

namespace {

// The count of FOLDER, or nothing when none was reported.
std::optional<SourceSize> countOf(const std::string& folder, bool subfolders)
{
    std::promise<SourceSize> reported;
    std::future<SourceSize> size = reported.get_future();
    SourceCount(folder, subfolders, [&](const SourceSize& s) { reported.set_value(s); }).wait();
    if (size.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return std::nullopt;
    return size.get();
}

} // namespace

TEST(SourceCount, FilesAndBytesOfEachRealFolderOnce)
{
    testsupport::TempDir dir;
    writeFile(dir / "src/a", "12345");
    writeFile(dir / "src/sub/b", "123");
    writeFile(dir / "src/sub/deeper/c", "1");
    ASSERT_EQ(symlink((dir / "src").c_str(), (dir / "src/sub/loop").c_str()), 0);
    ASSERT_EQ(symlink((dir / "src/a").c_str(), (dir / "src/link-to-a").c_str()), 0);

    const struct {
        const char* name;
        bool subfolders;
        std::int64_t files, bytes;
    } rows[] = {
        { "the folder alone", false, 2, 10 },
        { "the whole tree, the loop once", true, 4, 14 },
    };
    for (const auto& row : rows) {
        const std::optional<SourceSize> size = countOf(dir / "src", row.subfolders);
        ASSERT_TRUE(size) << row.name;
        EXPECT_EQ(size->files, row.files) << row.name;
        EXPECT_EQ(size->bytes, row.bytes) << row.name;
    }
    EXPECT_FALSE(countOf(dir / "missing", true));
    EXPECT_FALSE(countOf(dir / "src/a", true));
}
