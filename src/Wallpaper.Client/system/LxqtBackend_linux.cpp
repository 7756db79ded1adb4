#include "system/DesktopBackends.h"
#include "system/DesktopPeer_linux.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace lumivra {

namespace {

const QString pcmanfmService = QStringLiteral("org.pcmanfm.PCManFM");

// pcmanfm-qt keeps its settings per profile ("lxqt" in an LXQt session), named on its command line.
QString profileOf(uint pid) {
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly))
        return QStringLiteral("default");
    const QList<QByteArray> arguments = cmdline.readAll().split('\0');
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QByteArray &argument = arguments[i];
        if (argument.startsWith("--profile="))
            return QString::fromLocal8Bit(argument.mid(10));
        if ((argument == "--profile" || argument == "-p") && i + 1 < arguments.size())
            return QString::fromLocal8Bit(arguments[i + 1]);
        if (argument.startsWith("-p") && !argument.startsWith("--"))
            return QString::fromLocal8Bit(argument.mid(2));
    }
    return QStringLiteral("default");
}

class LxqtBackend : public DesktopBackend {
public:
    LxqtBackend(const QDBusConnection &bus, std::chrono::milliseconds timeout)
        : m_bus(bus), m_pcmanfm(bus, timeout, QStringLiteral("LXQt"), pcmanfmService,
                                QStringLiteral("/Application"), QStringLiteral("org.pcmanfm.Application")) {}

    // pcmanfm-qt shows one picture on every screen, so the screen only matters for the messages.
    void setPicture(const QString &imageFile, const ScreenInfo &screen) override {
        const QString path = QFileInfo(imageFile).absoluteFilePath();
        // An empty mode leaves the user's choice of fitting alone.
        m_pcmanfm.call(QStringLiteral("setWallpaper"), {path, QString()});

        // setWallpaper answers the same whether or not it took the picture (it drops a file it cannot find,
        // and saves nothing while it does not manage the desktop), so its saved settings are the answer.
        const QString stored = storedWallpaper();
        if (stored != path)
            throw DesktopError(
                QStringLiteral("LXQt 桌面（pcmanfm-qt）没有采用屏幕 %1 的壁纸，当前设置为“%2”。")
                    .arg(screen.name, stored));
    }

private:
    QString storedWallpaper() const {
        const auto pid = m_bus.interface()->servicePid(pcmanfmService);
        if (!pid.isValid())
            throw DesktopError(QStringLiteral("无法确认 LXQt 桌面的壁纸设置：%1").arg(pid.error().message()));
        const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                             QStringLiteral("/pcmanfm-qt/%1/settings.conf").arg(profileOf(pid.value()));
        const QSettings settings(file, QSettings::IniFormat);
        return settings.value(QStringLiteral("Desktop/Wallpaper")).toString();
    }

    QDBusConnection m_bus;
    DesktopPeer m_pcmanfm;
};

} // namespace

std::unique_ptr<DesktopBackend> makeLxqtBackend(const QDBusConnection &bus,
                                                std::chrono::milliseconds timeout) {
    return std::make_unique<LxqtBackend>(bus, timeout);
}

std::unique_ptr<DesktopBackend> makeLxqtBackend() {
    return makeLxqtBackend(QDBusConnection::sessionBus(), desktopCallTimeout);
}

} // namespace lumivra
