#include "qvubind.h"

#include "paths.h"
#include "qvutil/qvutil.h"

#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace qvu {
namespace {

    constexpr const char* kLibraryName = "libqvutil.so";

    std::mutex errorMutex;
    std::string lastError;

    void setError(std::string text)
    {
        std::lock_guard<std::mutex> lock(errorMutex);
        lastError = std::move(text);
    }

    void* openLibrary()
    {
        const std::string beside = ProgramFolder();
        if (!beside.empty()) {
            if (void* handle = dlopen((beside + kLibraryName).c_str(), RTLD_NOW | RTLD_LOCAL))
                return handle;
        }
        void* handle = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            setError(why ? why : "libqvutil.so cannot be loaded");
        }
        return handle;
    }

    void* library()
    {
        static void* const handle = openLibrary();
        return handle;
    }

    void* lookUp(const char* name)
    {
        void* lib = library();
        if (!lib)
            return nullptr;
        dlerror();
        void* symbol = dlsym(lib, name);
        if (!symbol)
            setError(std::string(kLibraryName) + ": " + name + " is missing");
        return symbol;
    }

    // Each wrapper keeps its function in a static, so the lookup runs once, at the
    // export's first call. The declarations in qvutil.h give the types; nothing
    // links against the library.
    template <typename Fn> Fn bound(const char* name)
    {
        return reinterpret_cast<Fn>(lookUp(name));
    }

#define QVU_BOUND(name) bound<decltype(&::name)>(#name)

} // namespace

std::string bindError()
{
    std::lock_guard<std::mutex> lock(errorMutex);
    return lastError;
}

std::int32_t CopyFile(const char* src, const char* dst, std::int32_t bufSize, char* buf)
{
    static const auto fn = QVU_BOUND(qvuCopyFile);
    return fn ? fn(src, dst, bufSize, buf) : kUnboundCode;
}

std::int32_t CopyFileCounted(
    const char* src, const char* dst, std::int32_t bufSize, char* buf, std::atomic<std::int64_t>& copied)
{
    static_assert(
        sizeof(std::atomic<std::int64_t>) == sizeof(std::int64_t) && std::atomic<std::int64_t>::is_always_lock_free,
        "the library stores into the counter as a plain lock-free 64-bit atomic");
    static const auto fn = QVU_BOUND(qvuCopyFileCounted);
    // A library from before the counter copies all the same, only unwatched.
    if (!fn)
        return CopyFile(src, dst, bufSize, buf);
    return fn(src, dst, bufSize, buf, reinterpret_cast<std::int64_t*>(&copied));
}

std::int32_t CopyFileKnown(const char* src, const char* dst, std::int32_t known, std::int32_t bufSize, char* buf,
    std::atomic<std::int64_t>* copied, timespec (&stamped)[2])
{
    static const auto fn = QVU_BOUND(qvuCopyFileKnown);
    // A library from before it copies all the same, looking DST up itself.
    if (!fn) {
        stamped[0] = stamped[1] = timespec {};
        return copied ? CopyFileCounted(src, dst, bufSize, buf, *copied) : CopyFile(src, dst, bufSize, buf);
    }
    return fn(src, dst, known, bufSize, buf, reinterpret_cast<std::int64_t*>(copied), stamped);
}

std::int32_t CopyFileAt(const char* src, int dirFd, const char* name, const char* dst, std::int32_t known,
    std::int32_t caps, std::int32_t bufSize, char* buf, std::atomic<std::int64_t>* copied, timespec (&stamped)[2])
{
    static const auto fn = QVU_BOUND(qvuCopyFileAt);
    // A library from before it copies all the same, by the destination's path.
    if (!fn)
        return CopyFileKnown(src, dst, known, bufSize, buf, copied, stamped);
    return fn(src, dirFd, name, known, caps, bufSize, buf, reinterpret_cast<std::int64_t*>(copied), stamped);
}

std::int32_t CopyFileAsSeen(const char* src, int dirFd, const char* name, const char* dst, const ::qvuSeen* seen,
    std::int32_t known, std::int32_t caps, std::int32_t bufSize, char* buf, std::atomic<std::int64_t>* copied,
    timespec (&stamped)[2])
{
    static const auto fn = QVU_BOUND(qvuCopyFileAsSeen);
    if (!fn)
        return CopyFileAt(src, dirFd, name, dst, known, caps, bufSize, buf, copied, stamped);
    return fn(src, dirFd, name, seen, caps, bufSize, buf, reinterpret_cast<std::int64_t*>(copied), stamped);
}

std::int32_t CopyFileKeeping(const char* src, int dirFd, const char* name, const ::qvuSeen* seen, std::int32_t caps,
    int keepFd, bool& kept, std::int32_t bufSize, char* buf, std::atomic<std::int64_t>* copied, timespec (&stamped)[2])
{
    static const auto fn = QVU_BOUND(qvuCopyFileKeeping);
    kept = false;
    if (!fn)
        return kUnboundCode;
    std::int32_t keptOne = 0;
    const std::int32_t code = fn(
        src, dirFd, name, seen, caps, keepFd, &keptOne, bufSize, buf, reinterpret_cast<std::int64_t*>(copied), stamped);
    kept = keptOne != 0;
    return code;
}

std::int32_t ProbeFolder(int dirFd)
{
    static const auto fn = QVU_BOUND(qvuProbeFolder);
    std::int32_t caps = 0;
    if (fn)
        fn(dirFd, &caps);
    return caps;
}

bool FileSize(const char* path, double& size)
{
    static const auto fn = QVU_BOUND(qvuFileSize);
    return fn && fn(path, &size) != 0;
}

bool DiskSpace(const char* path, double& freeBytes, double& totalBytes)
{
    static const auto fn = QVU_BOUND(qvuDiskSpace);
    return fn && fn(path, &freeBytes, &totalBytes) != 0;
}

double IntDev(double dividend, double divisor)
{
    static const auto fn = QVU_BOUND(qvuIntDev);
    return fn ? fn(dividend, divisor) : 0.0;
}

double Mod(double dividend, double divisor)
{
    static const auto fn = QVU_BOUND(qvuMod);
    return fn ? fn(dividend, divisor) : 0.0;
}

bool FullPath(const char* path, char* buf, std::int32_t bufSize)
{
    static const auto fn = QVU_BOUND(qvuFullPath);
    return fn && fn(path, buf, bufSize) != 0;
}

std::intptr_t Fopen(const char* path, const char* mode)
{
    static const auto fn = QVU_BOUND(qvuFopen);
    return fn ? fn(path, mode) : 0;
}

std::int32_t Fclose(std::intptr_t stream)
{
    static const auto fn = QVU_BOUND(qvuFclose);
    return fn ? fn(stream) : -1;
}

bool SetCurDir(const char* path)
{
    static const auto fn = QVU_BOUND(qvuSetCurDir);
    return fn && fn(path) != 0;
}

bool SplitColor(std::int32_t color, std::int32_t& red, std::int32_t& green, std::int32_t& blue)
{
    static const auto fn = QVU_BOUND(qvuSplitColor);
    return fn && fn(color, &red, &green, &blue) != 0;
}

} // namespace qvu
