#pragma once

#include "system/DesktopBackend.h"

#include <QList>
#include <QString>

namespace lumivra::WallpaperSetter {

// Sets the picture on every screen of QGuiApplication::screens(), fetched anew, through the backend of the
// running desktop session. Throws on the first refusal; throws DesktopError with
// "没有找到可设置壁纸的屏幕。" when there is no screen.
void set(const QString &imageFile);

// The same rules over given screens and backend.
void set(const QString &imageFile, const QList<ScreenInfo> &screens, DesktopBackend &backend);

} // namespace lumivra::WallpaperSetter
