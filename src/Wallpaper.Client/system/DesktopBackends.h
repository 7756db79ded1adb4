#pragma once

#include "system/DesktopBackend.h"

#include <QString>
#include <chrono>
#include <memory>

namespace lumivra {

// The backend of the desktop this process runs in, chosen afresh on each call.
std::unique_ptr<DesktopBackend> makeSessionBackend();

// macOS: NSWorkspace, one picture per screen.
std::unique_ptr<DesktopBackend> makeWorkspaceBackend();

// Linux desktops. The GSettings ones hold one picture for all screens.
enum class GSettingsDesktop { gnome, cinnamon, mate };
std::unique_ptr<DesktopBackend> makeGSettingsBackend(GSettingsDesktop desktop);
std::unique_ptr<DesktopBackend> makePlasmaBackend();
std::unique_ptr<DesktopBackend> makeXfceBackend();
std::unique_ptr<DesktopBackend> makeLxqtBackend();
std::unique_ptr<DesktopBackend> makeLxdeBackend();
std::unique_ptr<DesktopBackend> makeSwayBackend();
// swaybgDeadline: how long sway may take to show the picture through swaybg.
std::unique_ptr<DesktopBackend> makeSwayBackend(std::chrono::milliseconds swaybgDeadline);
// Paints the root window of the X server named by $DISPLAY, scaled to fill each screen's rectangle.
std::unique_ptr<DesktopBackend> makeX11RootBackend();
// Refuses every picture, naming the desktop it cannot serve.
std::unique_ptr<DesktopBackend> makeUnsupportedBackend(const QString &desktopName);

} // namespace lumivra
