// Acting on a main window while one of its copies is in progress.
#pragma once

#include "app/frmbase.h"

#include <QMetaObject>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace testsupport {

// Runs ACTION on WINDOW's own thread and waits, for at most 10 s, until it has run.
inline void actOnWindow(frmBase& window, std::function<void()> action)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    QMetaObject::invokeMethod(
        &window,
        [action, done] {
            action();
            *done = true;
        },
        Qt::QueuedConnection);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!*done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
}

// Makes WINDOW copy one file at a time, each on a copying thread, and run
// ACTION on the window's own thread while the first copy of the next run is
// in progress: that copy is held until ACTION has run, so whatever ACTION
// does (a click, a close) certainly reaches the window during the copy.
inline void actDuringFirstCopy(frmBase& window, std::function<void()> action)
{
    window.setParallelCopies(1);
    auto first = std::make_shared<std::atomic<bool>>(true);
    window.beforeThreadedCopy = [&window, action, first] {
        if (first->exchange(false))
            actOnWindow(window, action);
    };
}

} // namespace testsupport
