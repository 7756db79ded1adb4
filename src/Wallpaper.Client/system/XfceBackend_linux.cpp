#include "system/DesktopBackends.h"
#include "system/DesktopPeer_linux.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusVariant>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace lumivra {

namespace {

const QString desktopChannel = QStringLiteral("xfce4-desktop");

// xfconfd answers "no such property" also for a channel nobody has written yet, which a fresh profile is.
bool isMissing(const QDBusMessage &reply) {
    return reply.type() == QDBusMessage::ErrorMessage &&
           reply.errorName() == QLatin1String("org.xfce.Xfconf.Error.PropertyNotFound");
}

class XfceBackend : public DesktopBackend {
public:
    XfceBackend(const QDBusConnection &bus, std::chrono::milliseconds timeout)
        : m_xfconf(bus, timeout, QStringLiteral("XFCE"), QStringLiteral("org.xfce.Xfconf"),
                   QStringLiteral("/org/xfce/Xfconf"), QStringLiteral("org.xfce.Xfconf")) {}

    void setPicture(const QString &imageFile, const ScreenInfo &screen) override {
        if (screen.name.isEmpty())
            throw DesktopError(QStringLiteral("XFCE 桌面按显示器名称设置壁纸，但第 %1 块屏幕没有名称。")
                                   .arg(screen.index + 1));
        const QString path = QFileInfo(imageFile).absoluteFilePath();
        const QString monitor = QStringLiteral("/backdrop/screen0/monitor") + screen.name;
        for (int workspace = 0; workspace < workspaceCount(monitor); ++workspace) {
            const QString property = QStringLiteral("%1/workspace%2/last-image").arg(monitor).arg(workspace);
            m_xfconf.call(QStringLiteral("SetProperty"),
                          {desktopChannel, property, QVariant::fromValue(QDBusVariant(path))});
            const QVariantList stored =
                m_xfconf.call(QStringLiteral("GetProperty"), {desktopChannel, property});
            const QString now =
                stored.isEmpty() ? QString() : stored.first().value<QDBusVariant>().variant().toString();
            if (now != path)
                throw DesktopError(
                    QStringLiteral("XFCE 桌面没有保存壁纸设置：%1 的值是“%2”。").arg(property, now));
        }
    }

private:
    // xfdesktop keeps one picture per workspace and shows the one of the current workspace, so every
    // workspace it knows for this monitor, and every one the window manager has, gets the picture.
    int workspaceCount(const QString &monitor) const {
        int count = 1;
        const QDBusMessage existing =
            m_xfconf.tryCall(QStringLiteral("GetAllProperties"), {desktopChannel, monitor});
        if (!isMissing(existing)) {
            if (existing.type() != QDBusMessage::ReplyMessage || existing.arguments().isEmpty())
                m_xfconf.fail(existing);
            static const QRegularExpression numbered(QStringLiteral("^/workspace(\\d+)/"));
            const auto properties = qdbus_cast<QVariantMap>(existing.arguments().first());
            for (auto it = properties.keyBegin(); it != properties.keyEnd(); ++it) {
                const auto match = numbered.match(it->mid(monitor.size()));
                if (match.hasMatch())
                    count = std::max(count, match.captured(1).toInt() + 1);
            }
        }
        const QDBusMessage windowManager =
            m_xfconf.tryCall(QStringLiteral("GetProperty"),
                             {QStringLiteral("xfwm4"), QStringLiteral("/general/workspace_count")});
        if (!isMissing(windowManager)) {
            if (windowManager.type() != QDBusMessage::ReplyMessage || windowManager.arguments().isEmpty())
                m_xfconf.fail(windowManager);
            count =
                std::max(count, windowManager.arguments().first().value<QDBusVariant>().variant().toInt());
        }
        return count;
    }

    DesktopPeer m_xfconf;
};

} // namespace

std::unique_ptr<DesktopBackend> makeXfceBackend(const QDBusConnection &bus,
                                                std::chrono::milliseconds timeout) {
    return std::make_unique<XfceBackend>(bus, timeout);
}

std::unique_ptr<DesktopBackend> makeXfceBackend() {
    return makeXfceBackend(QDBusConnection::sessionBus(), desktopCallTimeout);
}

} // namespace lumivra
