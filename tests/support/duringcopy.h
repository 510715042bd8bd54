// Acting on a main window while one of its copies is in progress.
#pragma once

#include "app/frmbase.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
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

// Lets the run that the last click or key started in WINDOW go on to its
// end, as the program's event loop would, and the deletes it left be done.
// A start the window refused returns at once; so does a window gone.
inline void finishRun(const QPointer<frmBase>& window)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!window || !window->runInProgress())
            loop.quit();
    });
    poll.start(1);
    QTimer::singleShot(std::chrono::minutes(2), &loop, [&] {
        ADD_FAILURE() << "the run did not end";
        loop.quit();
    });
    loop.exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace testsupport
