#include "estimaterun.h"

#include "util/paths.h"
#include "util/qvubind.h"

#include <climits>
#include <sys/statvfs.h>

namespace {

// The allocation unit of the volume whose mount point is ROOT; -1 when it
// cannot be read or does not fit.
std::int32_t clusterBytesOf(const std::string& root)
{
    struct statvfs volume { };
    if (statvfs(root.c_str(), &volume) != 0 || volume.f_frsize == 0 || volume.f_frsize > INT32_MAX)
        return -1;
    return static_cast<std::int32_t>(volume.f_frsize);
}

} // namespace

EstimateRun::EstimateRun(double freeBytes, double totalBytes, std::int32_t clusterBytes, bool keepsHoles)
    : freeBytes_(freeBytes)
    , totalBytes_(totalBytes)
    , keepsHoles_(keepsHoles)
    , sums_(clusterBytes)
{
}

std::optional<EstimateRun> EstimateRun::of(const std::string& destination, bool keepsReplaced)
{
    const std::string root = RootOfPath(destination);
    double freeBytes = 0;
    double totalBytes = 0;
    if (root.empty() || !qvu::DiskSpace(root.c_str(), freeBytes, totalBytes))
        return std::nullopt;
    EstimateRun estimate(freeBytes, totalBytes, clusterBytesOf(root), keepsHoles(root));
    estimate.sums_.replacedKept = keepsReplaced;
    return estimate;
}

std::optional<MeasuredFile> EstimateRun::measure(const std::string& src, const std::string& dst) const
{
    // A sparse source takes its full length where the destination fills its holes in.
    const std::optional<double> srcBytes = bytesToCopy(src, keepsHoles_);
    if (!srcBytes)
        return std::nullopt;
    MeasuredFile file { *srcBytes, std::nullopt };
    double dstBytes = 0;
    if (qvu::FileSize(dst.c_str(), dstBytes))
        file.dstBytes = dstBytes;
    return file;
}

void EstimateRun::add(const MeasuredFile& file)
{
    sums_.addFile(file.srcBytes, file.dstBytes);
    if (added)
        added(file, sums_);
}
