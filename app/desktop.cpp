#include "desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#include <utility>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

DesktopNotifier& notifier()
{
    static DesktopNotifier instance;
    return instance;
}

} // namespace

void notifyDesktop(const QString& title, const QString& text)
{
    if (const DesktopNotifier replacement = notifier()) {
        replacement(title, text);
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kService))
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/org/freedesktop/Notifications"), kService, QStringLiteral("Notify"));
    // Application, id to replace (none), icon, summary, body, actions, hints, timeout (the server's).
    call << QStringLiteral("vestrelle") << 0u << QStringLiteral("vestrelle") << title << text << QStringList()
         << QVariantMap() << -1;
    // Nothing waits for the answer: a busy notification server must not hold up the window.
    bus.call(call, QDBus::NoBlock);
}

void setDesktopNotifier(DesktopNotifier replacement)
{
    notifier() = std::move(replacement);
}
