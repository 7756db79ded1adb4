#include "system/WallpaperSetter.h"

#include "system/DesktopBackends.h"

#include <QGuiApplication>
#include <QScreen>

namespace lumivra::WallpaperSetter {

namespace {

// Qt reports a screen's size in device-independent pixels but keeps its position in device pixels;
// desktops address screens in device pixels.
QRect devicePixelGeometry(const QScreen &screen) {
    const QRect geometry = screen.geometry();
    const qreal ratio = screen.devicePixelRatio();
    return {geometry.topLeft(), QSize(qRound(geometry.width() * ratio), qRound(geometry.height() * ratio))};
}

} // namespace

void set(const QString &imageFile) {
    QList<ScreenInfo> screens;
    const QList<QScreen *> attached = QGuiApplication::screens();
    for (int index = 0; index < attached.size(); ++index)
        screens.append({attached[index]->name(), devicePixelGeometry(*attached[index]), index});
    const std::unique_ptr<DesktopBackend> backend = makeSessionBackend();
    set(imageFile, screens, *backend);
}

void set(const QString &imageFile, const QList<ScreenInfo> &screens, DesktopBackend &backend) {
    if (screens.isEmpty())
        throw DesktopError(QStringLiteral("没有找到可设置壁纸的屏幕。"));
    for (const ScreenInfo &screen : screens)
        backend.setPicture(imageFile, screen);
}

} // namespace lumivra::WallpaperSetter
