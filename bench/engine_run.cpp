// engine_run: one update run from the command line, with every error skipped.
//
//   engine_run SRC DST [--ign SECONDS] [--no-subdirs] [--simulate]
//              [--include "EXTS" | --exclude "EXTS"] [--list] [--copies N] [--ahead N]
//
// --copies N: at most N files copied at once (1: one after the other).
// --ahead N: at most N folders read ahead of the walk (0: each as the walk comes to it).
// Errors go to standard error as they happen; --list prints each copied file.
// The last line is "checked N copied M errors E result R".
#include "engine/diffcopy.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class SkippingListener : public DiffCopyListener {
public:
    explicit SkippingListener(bool list)
        : list_(list)
    {
    }

    void FileChecked(const std::string& pSrc, const std::string&, const DateTime&, bool bCopied) override
    {
        ++checked;
        if (bCopied) {
            ++copied;
            if (list_)
                std::printf("copied %s\n", pSrc.c_str());
        }
    }
    void FolderSearching(const std::string&) override { }
    void FolderSearched(const std::string&) override { }
    void FolderAlreadyCopied(const std::string&, const std::string&) override { }
    void ErrorDetected(
        const std::string& strSrc, const std::string& strDst, const std::string& strErr, ErrorReply& nOp) override
    {
        ++errors;
        std::fprintf(stderr, "error: %s -> %s: %s\n", strSrc.c_str(), strDst.c_str(), strErr.c_str());
        nOp = ErrorReply::SkipAll;
    }

    long checked = 0;
    long copied = 0;
    long errors = 0;

private:
    bool list_;
};

int usage(const char* why)
{
    std::fprintf(stderr,
        "engine_run: %s\n"
        "usage: engine_run SRC DST [--ign SECONDS] [--no-subdirs] [--simulate]\n"
        "                  [--include \"EXTS\" | --exclude \"EXTS\"] [--list] [--copies N] [--ahead N]\n",
        why);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string src, dst;
    double ignSec = 0;
    bool subDirs = true, simulate = false, list = false;
    int filterKind = 0;
    std::string exts;
    int positional = 0;
    int copies = 0;
    int ahead = -1;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--ign") {
            if (!hasValue)
                return usage("--ign needs a number of seconds");
            char* end = nullptr;
            ignSec = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0')
                return usage("--ign needs a number of seconds");
        } else if (arg == "--copies") {
            if (!hasValue)
                return usage("--copies needs a number above 0");
            char* end = nullptr;
            copies = static_cast<int>(std::strtol(argv[++i], &end, 10));
            if (copies < 1 || *end != '\0')
                return usage("--copies needs a number above 0");
        } else if (arg == "--ahead") {
            if (!hasValue)
                return usage("--ahead needs a number of folders");
            char* end = nullptr;
            ahead = static_cast<int>(std::strtol(argv[++i], &end, 10));
            if (ahead < 0 || end == argv[i] || *end != '\0')
                return usage("--ahead needs a number of folders");
        } else if (arg == "--no-subdirs") {
            subDirs = false;
        } else if (arg == "--simulate") {
            simulate = true;
        } else if (arg == "--list") {
            list = true;
        } else if (arg == "--include" || arg == "--exclude") {
            if (!hasValue)
                return usage("a filter needs its extensions");
            if (filterKind != 0)
                return usage("--include and --exclude cannot both be given");
            filterKind = arg == "--include" ? 1 : 2;
            exts = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage(("unknown option " + arg).c_str());
        } else if (positional == 0) {
            src = arg;
            ++positional;
        } else if (positional == 1) {
            dst = arg;
            ++positional;
        } else {
            return usage("too many folders");
        }
    }
    if (positional != 2 || src.empty() || dst.empty())
        return usage("SRC and DST are needed");

    SkippingListener listener(list);
    DiffCopy engine(listener);
    engine.SetSimulation(simulate);
    if (copies > 0)
        engine.setParallelCopies(copies);
    if (ahead >= 0)
        engine.setFoldersAhead(ahead);
    if (filterKind != 0 && !engine.SetExtFilter(filterKind, exts))
        return usage("the filter's extensions are blank");

    std::int32_t result = engine.CopyNews(src, dst, ignSec, subDirs);
    std::printf("checked %ld copied %ld errors %ld result %d\n", listener.checked, listener.copied, listener.errors,
        static_cast<int>(result));
    return 0;
}
