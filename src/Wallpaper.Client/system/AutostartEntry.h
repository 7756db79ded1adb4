#pragma once

#include <QByteArray>
#include <QString>

namespace lumivra {

// An XDG autostart entry that starts the executable at login, read by GNOME, KDE, XFCE, LXQt and the
// other desktops that follow the freedesktop.org autostart convention.
QByteArray autostartEntry(const QString &executablePath);

// True when the entry is there but the desktop will not start it: its own startup settings switch an
// entry off by adding Hidden=true or X-GNOME-Autostart-enabled=false rather than deleting it.
bool autostartEntryDisabled(const QByteArray &content);

} // namespace lumivra
