// The capacity estimate of one run: the destination volume's space and
// allocation unit, what each file the run would copy takes there, and the
// running sums, which whoever shows the estimate follows file by file.
#pragma once

#include "estimate.h"

#include <functional>
#include <optional>
#include <string>

class EstimateRun {
public:
    // The estimate of a run onto DESTINATION; nothing when the space of the
    // volume that holds it cannot be read. With KEEPS_REPLACED the files the
    // run replaces stay on the volume (EstimateSums::replacedKept).
    static std::optional<EstimateRun> of(const std::string& destination, bool keepsReplaced = false);

    double freeBytes() const { return freeBytes_; }
    double totalBytes() const { return totalBytes_; }
    // The volume's allocation unit; -1 when it cannot be read.
    std::int32_t clusterBytes() const { return sums_.nClusterBytes; }

    // What a copy of the file SRC over DST takes, and what DST takes now;
    // nothing when SRC cannot be examined. On the run's thread.
    std::optional<MeasuredFile> measure(const std::string& src, const std::string& dst) const;

    // Adds FILE to the sums, then tells ADDED.
    void add(const MeasuredFile& file);
    const EstimateSums& sums() const { return sums_; }
    std::function<void(const MeasuredFile& file, const EstimateSums& sums)> added;

private:
    EstimateRun(double freeBytes, double totalBytes, std::int32_t clusterBytes, bool keepsHoles);

    double freeBytes_;
    double totalBytes_;
    bool keepsHoles_; // the destination keeps the holes of sparse files
    EstimateSums sums_;
};
