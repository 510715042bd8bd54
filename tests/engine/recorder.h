// A listener that records every event as a line of text and answers errors
// from a script of replies.
#pragma once

#include "engine/diffcopy.h"
#include "engine/listener.h"
#include "tests/support/testsupport.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

class Recorder : public DiffCopyListener {
public:
    void FileChecked(const std::string& pSrc, const std::string& pDst, const DateTime& dtFile, bool bCopied) override
    {
        events.push_back(std::string(bCopied ? "copied " : "checked ") + pSrc + " -> " + pDst);
        if (bCopied)
            times.push_back(dtFile);
        if (onFileChecked)
            onFileChecked(pSrc);
    }
    void FolderSearching(const std::string& pPath) override
    {
        events.push_back("searching " + pPath);
        if (onSearching)
            onSearching(pPath);
    }
    void FolderSearched(const std::string& pPath) override { events.push_back("searched " + pPath); }
    void FolderAlreadyCopied(const std::string& pSrc, const std::string& firstDst) override
    {
        events.push_back("already " + pSrc + " -> " + firstDst);
    }
    void ErrorDetected(
        const std::string& strSrc, const std::string& strDst, const std::string& strErr, ErrorReply& nOp) override
    {
        events.push_back("error " + strSrc + " -> " + strDst + ": " + strErr);
        errors.push_back(strErr);
        if (onError)
            onError(strDst);
        nOp = replies.empty() ? defaultReply : replies.front();
        if (!replies.empty())
            replies.pop_front();
    }

    // Events whose text starts with PREFIX.
    std::vector<std::string> only(const std::string& prefix) const
    {
        std::vector<std::string> found;
        for (const auto& event : events)
            if (event.compare(0, prefix.size(), prefix) == 0)
                found.push_back(event);
        return found;
    }

    std::vector<std::string> events;
    std::vector<std::string> errors;
    std::vector<DateTime> times;
    std::deque<ErrorReply> replies;
    ErrorReply defaultReply = ErrorReply::SkipAll;
    std::function<void(const std::string&)> onFileChecked;
    std::function<void(const std::string&)> onSearching;
    std::function<void(const std::string&)> onError; // given the destination
};

// A temporary folder with "src" and "dst" paths in it, and an engine that
// reports to a Recorder.
class EngineTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    std::string src = dir / "src";
    std::string dst = dir / "dst";
    Recorder recorder;
    DiffCopy engine { recorder };
};
