#include "system/DesktopSession.h"

#include <QFileInfo>
#include <QStringList>
#include <optional>

namespace lumivra {

namespace {

// Names from XDG_CURRENT_DESKTOP and DESKTOP_SESSION, lower-cased, with the "X-" vendor prefix removed.
std::optional<DesktopKind> kindOfName(QString name) {
    name = name.trimmed().toLower();
    if (name.startsWith(QLatin1String("x-")))
        name.remove(0, 2);
    static const struct {
        const char *name;
        DesktopKind kind;
    } known[] = {
        {"gnome", DesktopKind::gnome},
        {"gnome-classic", DesktopKind::gnome},
        {"gnome-flashback", DesktopKind::gnome},
        {"gnome-xorg", DesktopKind::gnome},
        {"gnome-wayland", DesktopKind::gnome},
        {"ubuntu", DesktopKind::gnome},
        {"ubuntu-xorg", DesktopKind::gnome},
        {"ubuntu-wayland", DesktopKind::gnome},
        {"unity", DesktopKind::gnome},
        {"budgie", DesktopKind::gnome},
        {"budgie-desktop", DesktopKind::gnome},
        {"pantheon", DesktopKind::gnome},
        {"cinnamon", DesktopKind::cinnamon},
        {"cinnamon2d", DesktopKind::cinnamon},
        {"cinnamon-wayland", DesktopKind::cinnamon},
        {"mate", DesktopKind::mate},
        {"kde", DesktopKind::plasma},
        {"plasma", DesktopKind::plasma},
        {"plasmawayland", DesktopKind::plasma},
        {"plasmax11", DesktopKind::plasma},
        {"xfce", DesktopKind::xfce},
        {"xfce4", DesktopKind::xfce},
        {"lxqt", DesktopKind::lxqt},
        {"lxde", DesktopKind::lxde},
        // Raspberry Pi OS names its X11 LXDE sessions so.
        {"lxde-pi", DesktopKind::lxde},
        {"lxde-pi-x", DesktopKind::lxde},
        {"sway", DesktopKind::sway},
    };
    for (const auto &entry : known) {
        if (name == QLatin1String(entry.name))
            return entry.kind;
    }
    return std::nullopt;
}

} // namespace

DesktopSession detectDesktopSession(const QProcessEnvironment &environment) {
    const QString currentDesktop = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")).trimmed();
    for (const QString &name : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (const auto kind = kindOfName(name))
            return {*kind, name.trimmed()};
    }

    // Display managers may give the session file's path instead of its name.
    const QString sessionName =
        QFileInfo(environment.value(QStringLiteral("DESKTOP_SESSION")).trimmed()).fileName();
    if (const auto kind = kindOfName(sessionName))
        return {*kind, sessionName};

    const QString announced = !currentDesktop.isEmpty() ? currentDesktop : sessionName;
    if (!environment.value(QStringLiteral("SWAYSOCK")).isEmpty())
        return {DesktopKind::sway, QStringLiteral("sway")};

    const QString sessionType = environment.value(QStringLiteral("XDG_SESSION_TYPE")).trimmed().toLower();
    const bool x11 =
        sessionType == QLatin1String("x11") ||
        (sessionType != QLatin1String("wayland") && !environment.value(QStringLiteral("DISPLAY")).isEmpty() &&
         environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty());
    if (x11)
        return {DesktopKind::x11Root, announced.isEmpty() ? QStringLiteral("X11") : announced};

    if (!announced.isEmpty())
        return {DesktopKind::unsupported, announced};
    if (!sessionType.isEmpty())
        return {DesktopKind::unsupported, sessionType};
    return {DesktopKind::unsupported, QString()};
}

} // namespace lumivra
