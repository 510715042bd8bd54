// Telling the desktop that a long run has ended while the user looked
// elsewhere: a notification through the freedesktop notification service.
#pragma once

#include <QString>
#include <functional>

// Shows TITLE and TEXT as a desktop notification, when the session has a
// notification service; otherwise does nothing.
void notifyDesktop(const QString& title, const QString& text);

// Test seam: while set, notifyDesktop hands its title and text to NOTIFIER
// instead of the desktop.
using DesktopNotifier = std::function<void(const QString& title, const QString& text)>;
void setDesktopNotifier(DesktopNotifier notifier);
