#include "system/DesktopBackends.h"
#include "system/X11DesktopWindow_linux.h"

#include <QFileInfo>
#include <QProcess>
#include <chrono>

namespace lumivra {

namespace {

constexpr std::chrono::seconds pcmanfmTimeout{10};

// pcmanfm hands --set-wallpaper to the instance that draws the desktop. With none running it would become
// that instance itself and never return, so the desktop window is looked for first.
class LxdeBackend : public DesktopBackend {
public:
    // pcmanfm shows one picture on every screen; each screen is still checked to be pcmanfm's.
    void setPicture(const QString &imageFile, const ScreenInfo &screen) override {
        const std::optional<QString> desktop = desktopWindowCovering(screen.geometry);
        if (!desktop)
            throw DesktopError(QStringLiteral("LXDE 桌面（pcmanfm）没有显示屏幕 %1 的桌面，壁纸没有设置。")
                                   .arg(screen.name));
        if (desktop->compare(QLatin1String("pcmanfm"), Qt::CaseInsensitive) != 0)
            throw DesktopError(
                QStringLiteral("屏幕 %1 的桌面由 %2 显示，而不是 LXDE 的 pcmanfm，壁纸没有设置。")
                    .arg(screen.name, *desktop));

        QProcess pcmanfm;
        pcmanfm.start(QStringLiteral("pcmanfm"),
                      {QStringLiteral("--set-wallpaper=") + QFileInfo(imageFile).absoluteFilePath()});
        const int timeout = static_cast<int>(std::chrono::milliseconds(pcmanfmTimeout).count());
        if (!pcmanfm.waitForStarted(timeout))
            throw DesktopError(
                QStringLiteral("无法运行 pcmanfm（%1），无法设置 LXDE 的壁纸。").arg(pcmanfm.errorString()));
        if (!pcmanfm.waitForFinished(timeout)) {
            pcmanfm.kill();
            pcmanfm.waitForFinished();
            throw DesktopError(QStringLiteral("LXDE 桌面（pcmanfm）没有及时回应，壁纸没有设置。"));
        }
        if (pcmanfm.exitStatus() != QProcess::NormalExit || pcmanfm.exitCode() != 0) {
            QString reason = QString::fromLocal8Bit(pcmanfm.readAllStandardError()).trimmed();
            if (reason.isEmpty())
                reason = QStringLiteral("退出码 %1").arg(pcmanfm.exitCode());
            throw DesktopError(QStringLiteral("LXDE 桌面（pcmanfm）拒绝设置壁纸：%1").arg(reason));
        }
    }
};

} // namespace

std::unique_ptr<DesktopBackend> makeLxdeBackend() {
    return std::make_unique<LxdeBackend>();
}

} // namespace lumivra
