#include "system/DesktopSession.h"

#include "client/Errors.h"
#include "system/DesktopBackends.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <utility>

namespace lumivra {
namespace {

using Variables = std::initializer_list<std::pair<const char *, const char *>>;

DesktopSession detect(Variables variables) {
    QProcessEnvironment environment;
    for (const auto &[name, value] : variables)
        environment.insert(QString::fromLatin1(name), QString::fromUtf8(value));
    return detectDesktopSession(environment);
}

struct Case {
    Variables variables;
    DesktopKind kind;
    const char *name;
};

// The announced desktop decides, the first name the program knows winning; then the session name; then
// the display hints. Empty values count as absent.
TEST(DesktopSessionTest, DetectsTheDesktopFromTheEnvironment) {
    const Case cases[] = {
        {{{"XDG_CURRENT_DESKTOP", "GNOME"}}, DesktopKind::gnome, "GNOME"},
        {{{"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}}, DesktopKind::gnome, "ubuntu"},
        {{{"XDG_CURRENT_DESKTOP", "Unity:Unity7:ubuntu"}}, DesktopKind::gnome, "Unity"},
        {{{"XDG_CURRENT_DESKTOP", "Budgie:GNOME"}}, DesktopKind::gnome, "Budgie"},
        {{{"XDG_CURRENT_DESKTOP", "Pantheon"}}, DesktopKind::gnome, "Pantheon"},
        {{{"XDG_CURRENT_DESKTOP", "X-Cinnamon"}}, DesktopKind::cinnamon, "X-Cinnamon"},
        {{{"XDG_CURRENT_DESKTOP", "MATE"}}, DesktopKind::mate, "MATE"},
        {{{"XDG_CURRENT_DESKTOP", "KDE"}}, DesktopKind::plasma, "KDE"},
        {{{"XDG_CURRENT_DESKTOP", "XFCE"}}, DesktopKind::xfce, "XFCE"},
        {{{"XDG_CURRENT_DESKTOP", "LXQt"}}, DesktopKind::lxqt, "LXQt"},
        {{{"XDG_CURRENT_DESKTOP", "LXDE"}}, DesktopKind::lxde, "LXDE"},
        {{{"XDG_CURRENT_DESKTOP", "sway"}}, DesktopKind::sway, "sway"},
        {{{"XDG_CURRENT_DESKTOP", "Hyprland:KDE"}}, DesktopKind::plasma, "KDE"},
        {{{"XDG_CURRENT_DESKTOP", "GNOME"}, {"DESKTOP_SESSION", "plasma"}, {"SWAYSOCK", "/run/sway.sock"}},
         DesktopKind::gnome,
         "GNOME"},
        {{{"DESKTOP_SESSION", "/usr/share/xsessions/xfce"}}, DesktopKind::xfce, "xfce"},
        {{{"DESKTOP_SESSION", "ubuntu-wayland"}}, DesktopKind::gnome, "ubuntu-wayland"},
        {{{"DESKTOP_SESSION", "LXDE-pi-x"}}, DesktopKind::lxde, "LXDE-pi-x"},
        {{{"DESKTOP_SESSION", "cinnamon2d"}}, DesktopKind::cinnamon, "cinnamon2d"},
        {{{"XDG_CURRENT_DESKTOP", "Hyprland"}, {"DESKTOP_SESSION", "mate"}}, DesktopKind::mate, "mate"},
        {{{"SWAYSOCK", "/run/user/1000/sway-ipc.sock"}, {"XDG_SESSION_TYPE", "wayland"}},
         DesktopKind::sway,
         "sway"},
        {{{"XDG_CURRENT_DESKTOP", "i3"}, {"XDG_SESSION_TYPE", "x11"}}, DesktopKind::x11Root, "i3"},
        {{{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "tty"}}, DesktopKind::x11Root, "X11"},
        // Xwayland's DISPLAY does not make a Wayland session an X11 one: its root window is never seen.
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}, DesktopKind::unsupported, ""},
        {{{"XDG_CURRENT_DESKTOP", "Hyprland"}, {"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}},
         DesktopKind::unsupported,
         "Hyprland"},
        {{{"XDG_SESSION_TYPE", "wayland"}}, DesktopKind::unsupported, "wayland"},
        {{}, DesktopKind::unsupported, ""},
        {{{"XDG_CURRENT_DESKTOP", ""}, {"DISPLAY", ""}, {"SWAYSOCK", ""}}, DesktopKind::unsupported, ""},
    };
    for (const Case &c : cases) {
        const DesktopSession session = detect(c.variables);
        EXPECT_EQ(session.kind, c.kind) << c.name;
        EXPECT_EQ(session.name, QString::fromUtf8(c.name));
    }
}

TEST(DesktopSessionTest, UnsupportedDesktopRefusesNamingIt) {
    const ScreenInfo screen{QStringLiteral("eDP-1"), QRect(0, 0, 1920, 1080), 0};
    for (const auto &[name, message] : {std::pair{"Hyprland", "不支持在当前桌面环境（Hyprland）中设置壁纸。"},
                                        std::pair{"", "无法识别当前的桌面环境，不支持在这里设置壁纸。"}}) {
        try {
            makeUnsupportedBackend(QString::fromUtf8(name))
                ->setPicture(QStringLiteral("/cache/a.jpg"), screen);
            ADD_FAILURE() << "an unsupported desktop must refuse";
        } catch (const DesktopError &error) {
            EXPECT_EQ(error.localizedDescription(), message);
        }
    }
}

} // namespace
} // namespace lumivra
