#include "settings/job.h"
#include "tests/support/testsupport.h"

#include <cstdlib>
#include <memory>

namespace {

class Recorder : public JobDialogue {
public:
    void refuse(const std::string& message, Field field) override { refusals.push_back({ message, field }); }
    bool ask(const std::string&) override { return true; }
    std::string named(const std::string& path) override { return "«" + path + "»"; }

    std::vector<std::pair<std::string, Field>> refusals;
};

} // namespace

TEST(CheckJob, ADestinationWhoseDiskIsNotMountedIsRefused)
{
    testsupport::TempDir dir;
    const std::unique_ptr<char, decltype(&free)> real(realpath(dir.path().c_str(), nullptr), &free);
    const std::string root = real.get();
    testsupport::makeDirs(root + "/photos");
    testsupport::makeDirs(root + "/disk");
    testsupport::writeFile(root + "/fstab", "LABEL=backup " + root + "/disk ext4 noauto 0 0\n");
    const MountTables mounts { root + "/fstab", root + "/mountinfo", {}, {} };

    // The folder the option adds is what the run would make on the empty mount point.
    const struct {
        const char* name;
        std::string destination;
        bool makeFolder;
        std::string refusedFor; // empty: the job runs
    } rows[] = {
        { "below the mount point", root + "/disk/backup", false, root + "/disk/backup" },
        { "the source's folder made on it", root + "/disk", true, root + "/disk/photos" },
        { "the mount point itself", root + "/disk", false, "" },
    };
    for (const auto& row : rows) {
        CopyJob job;
        job.source = root + "/photos";
        job.destination = row.destination;
        job.makeFolder = row.makeFolder;
        Recorder dialogue;
        EXPECT_EQ(checkJob(job, dialogue, mounts).has_value(), row.refusedFor.empty()) << row.name;
        if (row.refusedFor.empty())
            continue;
        ASSERT_EQ(dialogue.refusals.size(), 1u) << row.name;
        EXPECT_EQ(dialogue.refusals[0].second, JobDialogue::Field::Destination) << row.name;
        EXPECT_NE(dialogue.refusals[0].first.find("«" + row.refusedFor + "» のディスク（«" + root + "/disk»）"),
            std::string::npos)
            << dialogue.refusals[0].first;
    }
}
