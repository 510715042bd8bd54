#include "tests/support/testsupport.h"
#include "util/mounts.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

using testsupport::makeDirs;
using testsupport::TempDir;
using testsupport::writeFile;

struct Unit {
    const char* folder; // "etc" comes before "lib"
    std::string name; // or "@" and the path it is named after
    std::string text;
};

struct Row {
    const char* name;
    std::vector<std::string> folders;
    std::string fstab;
    std::vector<std::string> mounted;
    std::vector<Unit> units;
    std::string destination;
    std::string missing; // empty: the destination may be made
};

// The tables name folders with their links resolved.
std::string realOf(const TempDir& dir)
{
    const std::unique_ptr<char, decltype(&free)> real(realpath(dir.path().c_str(), nullptr), &free);
    return real.get();
}

std::string blanksEscaped(std::string path)
{
    for (std::size_t blank; (blank = path.find(' ')) != std::string::npos;)
        path.replace(blank, 1, "\\040");
    return path;
}

// "@" stands for the fake root; in a table, its blanks are escaped.
std::string placed(std::string text, const std::string& root, bool inTable = false)
{
    const std::string at = inTable ? blanksEscaped(root) : root;
    for (std::size_t mark; (mark = text.find('@')) != std::string::npos;)
        text.replace(mark, 1, at);
    return text;
}

// As systemd-escape --path --suffix=mount, for names without other special bytes.
std::string unitName(std::string path)
{
    for (std::size_t dash; (dash = path.find('-')) != std::string::npos;)
        path.replace(dash, 1, "\\x2d");
    std::replace(path.begin(), path.end(), '/', '-');
    return path.substr(1) + ".mount";
}

const std::string junk = "\n#\n\\\n\\0\n \t \n\x01\xff garbage\n";

const Row rows[] = {
    { "FstabDiskNotMounted", { "mnt/disk" }, junk + "UUID=1 @/mnt/disk ext4 defaults 0 2", {}, {}, "@/mnt/disk/photos",
        "@/mnt/disk" },
    { "FstabDiskMounted", { "mnt/disk" }, "UUID=1 @/mnt/disk/ ext4 defaults 0 2", { "@/mnt/disk" }, {},
        "@/mnt/disk/photos", "" },
    { "FstabMountPointMissingAltogether", { "mnt" }, "UUID=1 @/mnt/disk ext4 noauto 0 0", {}, {}, "@/mnt/disk/a/b",
        "@/mnt/disk" },
    { "FstabBlankEscaped", { "mnt/my nas" }, "//nas/s @/mnt/my\\040nas cifs _netdev 0 0", {}, {}, "@/mnt/my nas/x",
        "@/mnt/my nas" },
    { "MountinfoBlankEscaped", { "mnt/my nas" }, "//nas/s @/mnt/my\\040nas cifs _netdev 0 0", { "@/mnt/my nas" }, {},
        "@/mnt/my nas/x", "" },
    { "SwapAndMalformedLinesIgnored", { "mnt/disk" },
        "/dev/sdb1 @/mnt/disk swap sw 0 0\n@/mnt/disk\n# UUID=1 @/mnt/disk ext4\nUUID=2 none ext4", {}, {},
        "@/mnt/disk/photos", "" },
    { "UnitWhereNotMounted", { "srv/nas" }, "", {},
        { { "lib", "srv-nas.mount", "[Mount]\nWhat=//nas/s\n Where = @/srv/nas\n[Install]\nWhere=/elsewhere\n" } },
        "@/srv/nas/backup", "@/srv/nas" },
    { "UnitNameDecoded", { "srv/usb-disk" }, "", {}, { { "lib", "@/srv/usb-disk", "[Mount]\nWhat=/dev/sdc1\n" } },
        "@/srv/usb-disk/x", "@/srv/usb-disk" },
    { "MaskedUnitHidesTheVendorOne", { "srv/nas" }, "", {},
        { { "etc", "@/srv/nas", "" }, { "lib", "@/srv/nas", "[Mount]\nWhere=@/srv/nas\n" } }, "@/srv/nas/x", "" },
    { "MediaUserFolderWithoutTheDisk", { "media/hanako" }, "", {}, {}, "@/media/hanako/USB/backup",
        "@/media/hanako/USB" },
    { "MediaRootItself", { "media" }, "", {}, {}, "@/media/usb0/backup", "@/media/usb0" },
    { "RunMediaUserFolder", { "run/media/hanako" }, "", {}, {}, "@/run/media/hanako/USB/x", "@/run/media/hanako/USB" },
    { "MediaDiskFolderMounted", { "media/usb0" }, "", { "@/media/usb0" }, {}, "@/media/usb0/backup", "" },
    { "OrdinaryFolder", { "home/hanako" }, "UUID=1 @/mnt/disk ext4 defaults 0 2", {}, {}, "@/home/hanako/b/c", "" },
    { "DestinationExists", { "mnt/disk/photos" }, "UUID=1 @/mnt/disk ext4 defaults 0 2", {}, {}, "@/mnt/disk/photos/",
        "" },
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

class MissingDisk : public testing::TestWithParam<Row> { };

TEST_P(MissingDisk, IsFoundOnTheWayToTheDestination)
{
    const Row& row = GetParam();
    TempDir dir;
    const std::string root = realOf(dir) + "/root";
    for (const std::string& folder : row.folders)
        makeDirs(root + "/" + folder);
    ASSERT_EQ(symlink(root.c_str(), (dir / "link").c_str()), 0);

    MountTables tables { dir / "fstab", dir / "mountinfo", { dir / "etc", dir / "lib" },
        { root + "/media", root + "/run/media" } };
    writeFile(tables.fstab, placed(row.fstab, root, true));
    std::string mountinfo = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw" + junk;
    for (const std::string& where : row.mounted)
        mountinfo += "40 22 8:17 / " + blanksEscaped(placed(where, root)) + " rw shared:7 - ext4 /dev/sdb1 rw\n";
    writeFile(tables.mountinfo, mountinfo + "41 22\n");
    for (const Unit& unit : row.units)
        writeFile(dir / unit.folder + "/" + (unit.name[0] == '@' ? unitName(placed(unit.name, root)) : unit.name),
            placed(unit.text, root));

    const std::optional<std::string> missing = missingDiskFor(placed(row.destination, root), tables);
    EXPECT_EQ(missing.value_or(""), row.missing.empty() ? "" : placed(row.missing, root));
    // A destination reached through a link is judged where the link leads.
    EXPECT_EQ(missingDiskFor(placed(row.destination, dir / "link"), tables), missing);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, MissingDisk, testing::ValuesIn(rows), [](const auto& info) { return std::string(info.param.name); });

TEST(MissingDiskInput, OddPathsAndTablesThatCannotBeReadTellNothing)
{
    TempDir dir;
    makeDirs(dir / "mnt/disk");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    writeFile(dir / "file", "");
    const MountTables unreadable { dir / "fifo", dir / "missing", { dir / "file", dir / "fifo" }, { "", "media" } };
    for (const std::string& destination : { std::string(), std::string("/"), dir / "mnt/disk/x", dir / "file/x" })
        EXPECT_EQ(missingDiskFor(destination, unreadable), std::nullopt) << destination;

    // Whether a disk is on a user's folder we may not search cannot be told.
    makeDirs(dir / "media/hanako");
    chmod(dir.path().c_str(), 0755);
    chmod((dir / "media/hanako").c_str(), 0700);
    const MountTables media { dir / "missing", dir / "missing", {}, { realOf(dir) + "/media" } };
    const std::string locked = dir / "media/hanako/USB/backup";
    EXPECT_TRUE(testsupport::asUnprivileged([&] { return !missingDiskFor(locked, media); }));

    // A relative destination starts from the current folder, as the run's would.
    writeFile(dir / "fstab", "UUID=1 " + realOf(dir) + "/mnt/disk ext4 defaults 0 2\n");
    const std::unique_ptr<char, decltype(&free)> before(getcwd(nullptr, 0), &free);
    ASSERT_EQ(chdir((dir / "mnt").c_str()), 0);
    const std::optional<std::string> relative
        = missingDiskFor("./disk//photos", { dir / "fstab", dir / "missing", {}, {} });
    ASSERT_EQ(chdir(before.get()), 0);
    EXPECT_EQ(relative, realOf(dir) + "/mnt/disk");
}

} // namespace
