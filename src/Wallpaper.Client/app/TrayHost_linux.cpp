#include "app/TrayHost.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

namespace lumivra {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

// Qt decides once, when the first tray icon is made, whether icons go to a StatusNotifier host, and keeps
// that answer. On Wayland no other kind of tray exists, so an icon made before a panel has registered its
// host never shows: the icon waits for the host instead.
class StatusNotifierHostWatch : public QObject {
    Q_OBJECT
public:
    explicit StatusNotifierHostWatch(std::function<void()> ready)
        : m_ready(std::move(ready)), m_bus(QDBusConnection::sessionBus()),
          m_watcherOwner(watcherService, m_bus, QDBusServiceWatcher::WatchForRegistration) {
        // A panel starting later first takes the watcher's name (or finds another program holding it) and
        // then registers its host; either event may be the one that tells.
        connect(&m_watcherOwner, &QDBusServiceWatcher::serviceRegistered, this,
                &StatusNotifierHostWatch::askWatcher);
        m_bus.connect(QString(), watcherPath, watcherService, QStringLiteral("StatusNotifierHostRegistered"),
                      this, SLOT(hostRegistered()));
        askWatcher();
    }

private slots:
    void hostRegistered() { announce(); }

private:
    // Asked without waiting: a hung watcher must not stall the program.
    void askWatcher() {
        QDBusMessage question = QDBusMessage::createMethodCall(
            watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        question << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
        auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(question), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *answer) {
            answer->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *answer;
            if (!reply.isError() && reply.value().variant().toBool())
                announce();
        });
    }

    void announce() {
        if (m_announced)
            return;
        m_announced = true;
        m_ready();
    }

    std::function<void()> m_ready;
    QDBusConnection m_bus;
    QDBusServiceWatcher m_watcherOwner;
    bool m_announced = false;
};

} // namespace

std::unique_ptr<QObject> whenTrayHostReady(std::function<void()> ready) {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        // An X11 icon made before any tray exists is docked by Qt as soon as one appears.
        ready();
        return nullptr;
    }
    return std::make_unique<StatusNotifierHostWatch>(std::move(ready));
}

} // namespace lumivra

#include "TrayHost_linux.moc"
