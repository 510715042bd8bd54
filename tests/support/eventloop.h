// Runs a test's action inside an event loop, as a click or a key press
// arrives in the running program (modal dialogs and deferred deletes then
// behave as they do there).
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace testsupport {

inline void inEventLoop(const std::function<void()>& action)
{
    QEventLoop loop;
    QTimer::singleShot(0, [&] {
        action();
        loop.quit();
    });
    loop.exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace testsupport
