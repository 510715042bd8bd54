#pragma once

#include <cstdint>
#include <string>

// The outcome of copying one file: 0, or the error code with its text.
struct CopyResult {
    std::int32_t code = 0;
    std::string text;
};

// Copies SRC onto DST through the helper library (atomic replacement, the
// source's permission bits and times carried), then CopyTimeStamps.
CopyResult copyOneFile(const std::string& src, const std::string& dst);

// Gives DST the access and modification times of SRC (nothing to do when the
// modification times agree already). False when either
// cannot be read or set, and when SRC has changed since DST was made from it
// (its modification time is later than DST's): stamping the newer time on the
// older content would hide that change from every later run.
bool CopyTimeStamps(const std::string& src, const std::string& dst);
