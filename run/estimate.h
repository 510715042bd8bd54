// The arithmetic of the capacity estimate: byte counts rounded up to whole
// clusters, the running sums fed file by file, and the number texts the
// estimate window shows. Nothing here touches a widget.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

// BYTES rounded up to a whole number of clusters of CLUSTERBYTES each; a
// zero-byte file takes no cluster. BYTES comes back unchanged when the cluster
// size is unknown (less than 1), and when it is not a positive count.
double roundToClusters(double bytes, std::int32_t clusterBytes);

// A byte count with thousands separators and no decimals ("#,###,###,##0"),
// rounded half away from zero: "1,234,567", "0", "-4,096".
QString formatBytes(double bytes);

// A percentage with thousands separators and two decimals ("#,###,##0.00"):
// "50.00", "0.00", "-1,234.57".
QString formatPercent(double percent);

// Whether the file system holding PATH keeps the holes of sparse files, so
// that a copy takes the room of the source's data only. Only file systems
// known to do so count (ext2/3/4, XFS, Btrfs, tmpfs, F2FS, ZFS, bcachefs);
// FAT and exFAT cannot, and for FUSE, network and unknown file systems it
// cannot be told: the estimate then counts a file's full length, which may
// overstate the room needed but never understates it.
bool keepsHoles(const std::string& path);

// The bytes a copy of the file SRC will take where the destination keeps
// holes as the source has them (KEEPS_HOLES) or fills them in; nothing when
// the file cannot be examined.
std::optional<double> bytesToCopy(const std::string& src, bool keepsHoles);

// What the estimate learns of one file to copy, on the run's thread.
struct MeasuredFile {
    double srcBytes = 0; // what the copy will take
    std::optional<double> dstBytes; // what the file it replaces takes now
};

// The sums of one estimate, in bytes rounded to whole clusters. The main window
// feeds it every file the run would copy.
struct EstimateSums {
    explicit EstimateSums(std::int32_t clusterBytes = -1);

    // Adds one file to copy: the bytes its source occupies, and those of the
    // destination file it would replace when there is one.
    void addFile(double srcBytes, std::optional<double> dstBytes);

    std::int32_t nClusterBytes; // less than 1: unknown, sizes are summed unrounded
    // The replaced files are kept as versions: moved on the same file system,
    // they take no more room than before, but neither do they give theirs
    // back, so the need is the copies' whole room.
    bool replacedKept = false;
    double dbCopySum = 0; // what the copied files will occupy
    double dbExistSum = 0; // what the destination files they replace occupy now
    double dbNeedSum = 0; // dbCopySum - dbExistSum (dbCopySum with replacedKept): the room the run takes in the end
    double largestExisting = 0; // the largest of the replaced destination files
    // The most room the run takes at any moment, beyond what the volume held
    // before it. A file is copied beside the destination file it replaces and
    // renamed over it only when complete, so for a moment both are there: while
    // a file is copied the run holds the need of the files before it plus that
    // file's copy. The need of the finished run plus largestExisting is not a
    // bound: the need may shrink after the largest replacement.
    double peakSum = 0;
};
