// Whoever shows a copy session's runs: the main window, or batch mode's log.
// It hears the engine's events (RunEvents), and answers each copy error
// through a reply it may give at once (batch mode) or once the user has
// chosen (the window's error dialog, shown from the window's own event loop
// while the run waits).
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "engine/listener.h"

#include <functional>
#include <string>

class RunFace : public RunEvents {
public:
    using Answer = std::function<void(ErrorReply reply)>;

    // A copy error to answer, once, through ANSWER. The run waits for it.
    virtual void ErrorDetected(
        const std::string& strSrc, const std::string& strDst, const std::string& strErr, Answer answer)
        = 0;
};
