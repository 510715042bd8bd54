#include "estimate.h"

#include "util/qvubind.h"

#include <algorithm>
#include <cmath>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace {

// DIGITS (decimal digits, perhaps a point and decimals) with a comma between
// every three digits before the point, and a minus sign when NEGATIVE and the
// text is not all zeros.
QString grouped(QString digits, bool negative)
{
    const int point = digits.indexOf(QLatin1Char('.'));
    for (int at = (point < 0 ? digits.size() : point) - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    const bool zero = std::all_of(digits.cbegin(), digits.cend(),
        [](QChar c) { return c == QLatin1Char('0') || c == QLatin1Char('.') || c == QLatin1Char(','); });
    return negative && !zero ? QLatin1Char('-') + digits : digits;
}

} // namespace

bool keepsHoles(const std::string& path)
{
    // Not all of these are in every kernel's linux/magic.h.
    constexpr long kXfs = 0x58465342;
    constexpr long kF2fs = 0xF2F52010;
    constexpr long kZfs = 0x2FC12FC1;
    constexpr long kBcachefs = 0xCA451A4E;
    struct statfs volume { };
    if (statfs(path.c_str(), &volume) != 0)
        return false;
    switch (static_cast<long>(volume.f_type)) {
    case EXT4_SUPER_MAGIC: // ext2 and ext3 too
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case kXfs:
    case kF2fs:
    case kZfs:
    case kBcachefs:
        return true;
    default:
        return false;
    }
}

std::optional<double> bytesToCopy(const std::string& src, bool keepsHoles)
{
    double bytes = 0;
    if (keepsHoles)
        return qvu::FileSize(src.c_str(), bytes) ? std::optional<double>(bytes) : std::nullopt;
    struct stat st;
    if (stat(src.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<double>(st.st_size);
}

double roundToClusters(double bytes, std::int32_t clusterBytes)
{
    if (clusterBytes < 1 || !(bytes > 0))
        return bytes;
    const double cluster = clusterBytes;
    double quotient = qvu::IntDev(bytes, cluster);
    double remainder = qvu::Mod(bytes, cluster);
    // The library answers 0 for both when it cannot be loaded, and keeps only
    // the low 32 bits of a quotient (a file of 16 TiB in 4 KiB clusters). A
    // pair that does not give BYTES back is worked out here instead.
    if (!(remainder >= 0 && remainder < cluster && quotient * cluster + remainder == bytes)) {
        remainder = std::fmod(bytes, cluster);
        quotient = (bytes - remainder) / cluster;
    }
    if (remainder != 0)
        quotient += 1;
    return cluster * quotient;
}

QString formatBytes(double bytes)
{
    if (!std::isfinite(bytes))
        return QString::number(bytes);
    return grouped(QString::number(std::round(std::fabs(bytes)), 'f', 0), bytes < 0);
}

QString formatPercent(double percent)
{
    if (!std::isfinite(percent))
        return QString::number(percent);
    return grouped(QString::number(std::fabs(percent), 'f', 2), percent < 0);
}

EstimateSums::EstimateSums(std::int32_t clusterBytes)
    : nClusterBytes(clusterBytes)
{
}

void EstimateSums::addFile(double srcBytes, std::optional<double> dstBytes)
{
    const double copy = roundToClusters(srcBytes, nClusterBytes);
    peakSum = std::max(peakSum, dbNeedSum + copy);
    dbCopySum += copy;
    if (dstBytes) {
        const double exist = roundToClusters(*dstBytes, nClusterBytes);
        dbExistSum += exist;
        largestExisting = std::max(largestExisting, exist);
    }
    dbNeedSum = replacedKept ? dbCopySum : dbCopySum - dbExistSum;
}
