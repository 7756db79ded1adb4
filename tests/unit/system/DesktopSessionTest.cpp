#include "system/DesktopSession.h"

#include "client/Errors.h"
#include "system/DesktopBackends.h"

#include <gmock/gmock.h>

namespace lumivra {
namespace {

// The announced desktop decides, the first name the program knows winning; then the session name; then
// the display hints. Empty values count as absent.
TEST(DesktopSessionTest, DetectsTheDesktopFromTheEnvironment) {
    const struct {
        const char *variables;
        DesktopKind kind;
        const char *name;
    } rows[] = {
        {"XDG_CURRENT_DESKTOP=ubuntu:GNOME", DesktopKind::gnome, "ubuntu"},
        {"XDG_CURRENT_DESKTOP=X-Cinnamon", DesktopKind::cinnamon, "X-Cinnamon"},
        {"XDG_CURRENT_DESKTOP=Hyprland:KDE", DesktopKind::plasma, "KDE"},
        {"XDG_CURRENT_DESKTOP=LXQt", DesktopKind::lxqt, "LXQt"},
        {"XDG_CURRENT_DESKTOP=GNOME DESKTOP_SESSION=plasma SWAYSOCK=/run/sway.sock", DesktopKind::gnome,
         "GNOME"},
        {"DESKTOP_SESSION=/usr/share/xsessions/xfce", DesktopKind::xfce, "xfce"},
        {"DESKTOP_SESSION=LXDE-pi-x", DesktopKind::lxde, "LXDE-pi-x"},
        {"XDG_CURRENT_DESKTOP=Hyprland DESKTOP_SESSION=mate", DesktopKind::mate, "mate"},
        {"SWAYSOCK=/run/user/1000/sway-ipc.sock XDG_SESSION_TYPE=wayland", DesktopKind::sway, "sway"},
        {"XDG_CURRENT_DESKTOP=i3 XDG_SESSION_TYPE=x11", DesktopKind::x11Root, "i3"},
        {"DISPLAY=:0 XDG_SESSION_TYPE=tty", DesktopKind::x11Root, "X11"},
        // Xwayland's DISPLAY does not make a Wayland session an X11 one: its root window is never seen.
        {"DISPLAY=:0 WAYLAND_DISPLAY=wayland-0", DesktopKind::unsupported, ""},
        {"XDG_CURRENT_DESKTOP=Hyprland XDG_SESSION_TYPE=wayland DISPLAY=:1", DesktopKind::unsupported,
         "Hyprland"},
        {"XDG_SESSION_TYPE=wayland", DesktopKind::unsupported, "wayland"},
        {"XDG_CURRENT_DESKTOP= DISPLAY= SWAYSOCK=", DesktopKind::unsupported, ""},
    };
    for (const auto &[variables, kind, name] : rows) {
        QProcessEnvironment environment;
        for (const QString &variable : QString::fromLatin1(variables).split(QLatin1Char(' ')))
            environment.insert(variable.section(QLatin1Char('='), 0, 0),
                               variable.section(QLatin1Char('='), 1));
        const DesktopSession session = detectDesktopSession(environment);
        EXPECT_EQ(session.kind, kind) << variables;
        EXPECT_EQ(session.name, QLatin1String(name)) << variables;
    }
}

TEST(DesktopSessionTest, UnsupportedDesktopRefusesNamingIt) {
    for (const auto &[name, message] : {std::pair{"Hyprland", "不支持在当前桌面环境（Hyprland）中设置壁纸。"},
                                        std::pair{"", "无法识别当前的桌面环境，不支持在这里设置壁纸。"}}) {
        EXPECT_THAT(
            [&] {
                makeUnsupportedBackend(QString::fromUtf8(name))
                    ->setPicture(QStringLiteral("/cache/a.jpg"),
                                 {QStringLiteral("eDP-1"), {0, 0, 1920, 1080}, 0});
            },
            testing::ThrowsMessage<DesktopError>(testing::StrEq(message)));
    }
}

} // namespace
} // namespace lumivra
