// Runs that keep the files they replace, and the pruning of what they kept.
#include "engine/diffcopy.h"
#include "engine/versions.h"
#include "recorder.h"
#include "tests/support/testsupport.h"

#include <ctime>
#include <functional>
#include <unistd.h>

using testsupport::exists;
using testsupport::namesIn;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const std::string kRun1 = "2026-12-10_030000";
const std::string kRun2 = "2026-12-11_030000";

struct KeepRunCase {
    const char* name;
    // Sets up the source and destination, then runs the engine through RUN
    // (a run name) as often as the case needs.
    std::function<void(
        const std::string& src, const std::string& dst, const std::function<void(const std::string&)>& run)>
        act;
    // What the versions folder holds afterwards, as "run/path=content", sorted.
    std::vector<std::string> kept;
    std::int64_t keptByLastRun;
};

// Every file below FOLDER, as "path=content", sorted.
void listTree(const std::string& folder, const std::string& prefix, std::vector<std::string>& out)
{
    for (const std::string& name : namesIn(folder)) {
        const std::string path = folder + "/" + name;
        struct stat st;
        lstat(path.c_str(), &st);
        if (S_ISDIR(st.st_mode))
            listTree(path, prefix + name + "/", out);
        else if (name != kVersionsMarker)
            out.push_back(prefix + name + "=" + readFile(path));
    }
}

const KeepRunCase kRunCases[] = {
    { "Replace",
        [](const std::string& src, const std::string& dst, const auto& run) {
            writeFile(dst + "/a.txt", "old a", 1000);
            writeFile(dst + "/sub/deeper/b.txt", "old b", 1000);
            writeFile(src + "/a.txt", "new a", 2000);
            writeFile(src + "/sub/deeper/b.txt", "new b", 2000);
            run(kRun1);
            EXPECT_EQ(readFile(dst + "/a.txt"), "new a");
            EXPECT_EQ(readFile(dst + "/sub/deeper/b.txt"), "new b");
            EXPECT_TRUE(exists(dst + "/" + kVersionsFolder + "/" + kRun1 + "/" + kVersionsMarker));
        },
        { kRun1 + "/a.txt=old a", kRun1 + "/sub/deeper/b.txt=old b" }, 2 },
    { "NewFilesKeepNothing",
        [](const std::string& src, const std::string&, const auto& run) {
            writeFile(src + "/a.txt", "a", 2000);
            writeFile(src + "/sub/b.txt", "b", 2000);
            run(kRun1);
        },
        {}, 0 },
    { "NothingChanged",
        [](const std::string& src, const std::string& dst, const auto& run) {
            writeFile(src + "/a.txt", "a", 2000);
            writeFile(dst + "/a.txt", "a", 2000);
            run(kRun1);
        },
        {}, 0 },
    { "TwoRuns",
        [](const std::string& src, const std::string& dst, const auto& run) {
            writeFile(dst + "/a.txt", "v1", 1000);
            writeFile(src + "/a.txt", "v2", 2000);
            run(kRun1);
            writeFile(src + "/a.txt", "v3", 3000);
            run(kRun2);
            EXPECT_EQ(readFile(dst + "/a.txt"), "v3");
        },
        { kRun1 + "/a.txt=v1", kRun2 + "/a.txt=v2" }, 1 },
    { "SameSecondTwice",
        [](const std::string& src, const std::string& dst, const auto& run) {
            writeFile(dst + "/a.txt", "v1", 1000);
            writeFile(src + "/a.txt", "v2", 2000);
            run(kRun1);
            writeFile(src + "/a.txt", "v3", 3000);
            run(kRun1);
        },
        { kRun1 + "/a.txt=v1", kRun1 + "-2/a.txt=v2" }, 1 },
    { "SourceVersionsFolderIsNotCopied",
        [](const std::string& src, const std::string& dst, const auto& run) {
            writeFile(dst + "/a.txt", "old", 1000);
            writeFile(src + "/a.txt", "new", 2000);
            writeFile(src + "/" + kVersionsFolder + "/" + kRun2 + "/a.txt", "theirs", 500);
            run(kRun1);
        },
        { kRun1 + "/a.txt=old" }, 1 },
};

class KeepRun : public EngineTest, public ::testing::WithParamInterface<KeepRunCase> { };

TEST_P(KeepRun, KeepsWhatItReplaces)
{
    const KeepRunCase& c = GetParam();
    testsupport::makeDirs(dst);
    c.act(src, dst, [this](const std::string& runName) {
        engine.setKeepReplaced(runName, Retention { Retention::By::Runs, 100 });
        EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    });
    EXPECT_TRUE(recorder.errors.empty()) << recorder.errors.front();
    std::vector<std::string> kept;
    listTree(dst + "/" + kVersionsFolder, "", kept);
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(engine.progress().keptAside, c.keptByLastRun);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, KeepRun, ::testing::ValuesIn(kRunCases), [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, AFileWhoseOldVersionCannotBeKeptIsNotReplaced)
{
    writeFile(dst + "/a.txt", "old", 1000);
    writeFile(src + "/a.txt", "new", 2000);
    writeFile(dst + "/" + kVersionsFolder, "a file where the folder would go");
    engine.setKeepReplaced(kRun1);
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_EQ(readFile(dst + "/a.txt"), "old");
    ASSERT_EQ(recorder.errors.size(), 1u);
}

// The local time of a run folder's name.
std::time_t localTime(int year, int month, int day)
{
    std::tm parts {};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

struct PruneCase {
    const char* name;
    Retention retention;
    std::vector<std::string> left; // what stays in the versions folder
};

const PruneCase kPruneCases[] = {
    { "LastRuns", { Retention::By::Runs, 2 },
        { "2020-01-03_000000", "2020-01-04_000000", "2020-01-05_000000", "notarun" } },
    { "LastDays", { Retention::By::Days, 3 },
        { "2020-01-03_000000", "2020-01-04_000000", "2020-01-05_000000", "notarun" } },
    { "ManyDays", { Retention::By::Days, 30 },
        { "2020-01-01_000000", "2020-01-02_000000", "2020-01-03_000000", "2020-01-04_000000", "2020-01-05_000000",
            "notarun" } },
    { "OneRun", { Retention::By::Runs, 1 }, { "2020-01-03_000000", "2020-01-04_000000", "notarun" } },
};

class Prune : public ::testing::TestWithParam<PruneCase> { };

TEST_P(Prune, RemovesOnlyOldRunFoldersWithTheMarker)
{
    testsupport::TempDir dir;
    const std::string versions = dir / "dst/" + kVersionsFolder;
    const std::string outside = dir / "outside";
    for (const char* run : { "2020-01-01_000000", "2020-01-02_000000", "2020-01-05_000000" }) {
        writeFile(versions + "/" + run + "/" + kVersionsMarker, "");
        writeFile(versions + "/" + run + "/sub/a.txt", "kept");
    }
    // Made by someone else: no marker, or no run's name.
    writeFile(versions + "/2020-01-03_000000/a.txt", "mine");
    writeFile(versions + "/notarun/" + kVersionsMarker, "");
    // A link among them leads somewhere else, which stays as it is.
    writeFile(outside + "/" + kVersionsMarker, "");
    writeFile(outside + "/a.txt", "elsewhere");
    ASSERT_EQ(symlink(outside.c_str(), (versions + "/2020-01-04_000000").c_str()), 0);

    pruneVersions(dir / "dst", GetParam().retention, localTime(2020, 1, 6));
    EXPECT_EQ(namesIn(versions), GetParam().left);
    EXPECT_EQ(readFile(outside + "/a.txt"), "elsewhere");
    EXPECT_EQ(readFile(versions + "/2020-01-03_000000/a.txt"), "mine");
}

INSTANTIATE_TEST_SUITE_P(
    Versions, Prune, ::testing::ValuesIn(kPruneCases), [](const auto& info) { return std::string(info.param.name); });

} // namespace
