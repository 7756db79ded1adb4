#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace lumivra {

enum class DesktopKind { gnome, cinnamon, mate, plasma, xfce, lxqt, lxde, sway, x11Root, unsupported };

struct DesktopSession {
    DesktopKind kind = DesktopKind::unsupported;
    QString name; // how the session calls itself, for messages
};

// Tells from the session's environment which desktop draws the picture. Only what the session announces
// counts, never which tools happen to be installed.
DesktopSession detectDesktopSession(const QProcessEnvironment &environment);

} // namespace lumivra
