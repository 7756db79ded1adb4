#include "app/AppDelegate.h"
#include "app/RunningCopy.h"
#include "app/RunningCopyBus_linux.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QTimer>

namespace lumivra {

namespace {

// QtDBus keeps the call being answered with the object its adaptors belong to.
class Door : public QObject, public QDBusContext {
    Q_OBJECT
};

class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    ApplicationAdaptor(Door *door, AppDelegate &delegate)
        : QDBusAbstractAdaptor(door), m_door(*door), m_delegate(delegate) {}

public slots:
    // The platform data (a startup notification id, say) is of no use to a program without windows.
    void Activate(const QVariantMap &platformData) {
        Q_UNUSED(platformData);
        later([this] { m_delegate.refreshMenuItemClicked(); });
    }
    // No kind of file is the program's: opening something with it activates it.
    void Open(const QStringList &uris, const QVariantMap &platformData) {
        Q_UNUSED(uris);
        Activate(platformData);
    }
    void ActivateAction(const QString &name, const QVariantList &parameter, const QVariantMap &platformData) {
        Q_UNUSED(platformData);
        if (name == QLatin1String("refresh") && parameter.isEmpty())
            later([this] { m_delegate.refreshMenuItemClicked(); });
        else if (name == QLatin1String("quit") && parameter.isEmpty())
            later([this] { m_delegate.quit(); });
        else if (name == QLatin1String("launch-at-login") && parameter.size() == 1 &&
                 parameter[0].typeId() == QMetaType::Bool)
            switchLaunchAtLogin(parameter[0].toBool());
        else
            m_door.sendErrorReply(
                QDBusError::InvalidArgs,
                QStringLiteral("Lumivra 没有这个操作：") + name +
                    QStringLiteral("（有 refresh、quit 和带 true 或 false 的 launch-at-login）"));
    }

private:
    // Answered with the outcome, so that a script learns of a failure; the running copy shows it as its
    // menu does.
    void switchLaunchAtLogin(bool enabled) {
        m_door.setDelayedReply(true);
        later([this, enabled, call = m_door.message(), bus = m_door.connection()] {
            bus.send(m_delegate.setLaunchAtLogin(enabled)
                         ? call.createReply()
                         : call.createErrorReply(QDBusError::Failed, QStringLiteral("开机启动设置失败。")));
        });
    }
    // Answered at once and done in a later turn: an alert the command shows must not hold up the caller.
    void later(std::function<void()> action) { QTimer::singleShot(0, this, std::move(action)); }

    const Door &m_door;
    AppDelegate &m_delegate;
};

class StatusAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "site.lumivra.wallpaper.Status")
public:
    StatusAdaptor(QObject *door, const AppDelegate &delegate)
        : QDBusAbstractAdaptor(door), m_delegate(delegate) {}

public slots:
    // The tool tip's text, the cached picture last set and whether the last refresh succeeded.
    QString Status(QString &pictureFile, bool &lastRefreshSucceeded) {
        const RefreshStatus status = m_delegate.status();
        pictureFile = status.pictureFile;
        lastRefreshSucceeded = status.lastRefreshSucceeded;
        return status.toolTip;
    }

private:
    const AppDelegate &m_delegate;
};

} // namespace

void prepareRunningCopy() {}

std::unique_ptr<QObject> serveOtherStarts(AppDelegate &delegate) {
    auto door = std::make_unique<Door>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Without a session bus the program still runs; other starts just cannot reach it.
    if (!bus.isConnected())
        return door;
    new ApplicationAdaptor(door.get(), delegate);
    new StatusAdaptor(door.get(), delegate);
    // The object is there before the name, so whoever sees the name can call it at once.
    bus.registerObject(RunningCopyBus::path, door.get(), QDBusConnection::ExportAdaptors);
    if (!bus.registerService(RunningCopyBus::service))
        return nullptr;
    return door;
}

} // namespace lumivra

#include "RunningCopy_linux.moc"
