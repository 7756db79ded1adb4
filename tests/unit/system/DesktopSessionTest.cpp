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

TEST(DesktopSessionTest, AnnouncedDesktopDecides) {
    const Case cases[] = {
        {{{"XDG_CURRENT_DESKTOP", "GNOME"}}, DesktopKind::gnome, "GNOME"},
        {{{"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}}, DesktopKind::gnome, "ubuntu"},
        {{{"XDG_CURRENT_DESKTOP", "Unity:Unity7:ubuntu"}}, DesktopKind::gnome, "Unity"},
        {{{"XDG_CURRENT_DESKTOP", "Budgie:GNOME"}}, DesktopKind::gnome, "Budgie"},
        {{{"XDG_CURRENT_DESKTOP", "Pantheon"}}, DesktopKind::gnome, "Pantheon"},
        {{{"XDG_CURRENT_DESKTOP", "X-Cinnamon"}}, DesktopKind::cinnamon, "X-Cinnamon"},
        {{{"XDG_CURRENT_DESKTOP", "cinnamon"}}, DesktopKind::cinnamon, "cinnamon"},
        {{{"XDG_CURRENT_DESKTOP", "MATE"}}, DesktopKind::mate, "MATE"},
        {{{"XDG_CURRENT_DESKTOP", "KDE"}}, DesktopKind::plasma, "KDE"},
        {{{"XDG_CURRENT_DESKTOP", "XFCE"}}, DesktopKind::xfce, "XFCE"},
        {{{"XDG_CURRENT_DESKTOP", "LXQt"}}, DesktopKind::lxqt, "LXQt"},
        {{{"XDG_CURRENT_DESKTOP", "LXDE"}}, DesktopKind::lxde, "LXDE"},
        {{{"XDG_CURRENT_DESKTOP", "sway"}}, DesktopKind::sway, "sway"},
        // The first name the program knows wins; unknown ones before it are passed over.
        {{{"XDG_CURRENT_DESKTOP", "Hyprland:KDE"}}, DesktopKind::plasma, "KDE"},
        // The announced desktop outranks every other hint.
        {{{"XDG_CURRENT_DESKTOP", "GNOME"}, {"DESKTOP_SESSION", "plasma"}, {"SWAYSOCK", "/run/sway.sock"}},
         DesktopKind::gnome,
         "GNOME"},
    };
    for (const Case &c : cases) {
        const DesktopSession session = detect(c.variables);
        EXPECT_EQ(session.kind, c.kind) << c.variables.begin()->second;
        EXPECT_EQ(session.name, QString::fromUtf8(c.name)) << c.variables.begin()->second;
    }
}

TEST(DesktopSessionTest, SessionNameWhenNoDesktopIsAnnounced) {
    const Case cases[] = {
        {{{"DESKTOP_SESSION", "plasma"}}, DesktopKind::plasma, "plasma"},
        {{{"DESKTOP_SESSION", "/usr/share/xsessions/xfce"}}, DesktopKind::xfce, "xfce"},
        {{{"DESKTOP_SESSION", "ubuntu-wayland"}}, DesktopKind::gnome, "ubuntu-wayland"},
        {{{"DESKTOP_SESSION", "LXDE-pi"}}, DesktopKind::lxde, "LXDE-pi"},
        {{{"DESKTOP_SESSION", "LXDE-pi-x"}}, DesktopKind::lxde, "LXDE-pi-x"},
        {{{"DESKTOP_SESSION", "cinnamon2d"}}, DesktopKind::cinnamon, "cinnamon2d"},
        {{{"XDG_CURRENT_DESKTOP", "Hyprland"}, {"DESKTOP_SESSION", "mate"}}, DesktopKind::mate, "mate"},
    };
    for (const Case &c : cases) {
        const DesktopSession session = detect(c.variables);
        EXPECT_EQ(session.kind, c.kind) << c.name;
        EXPECT_EQ(session.name, QString::fromUtf8(c.name));
    }
}

TEST(DesktopSessionTest, DisplayHintsWhenTheDesktopHasNoNameWeKnow) {
    EXPECT_EQ(detect({{"SWAYSOCK", "/run/user/1000/sway-ipc.sock"}, {"XDG_SESSION_TYPE", "wayland"}}).kind,
              DesktopKind::sway);

    const DesktopSession i3 = detect({{"XDG_CURRENT_DESKTOP", "i3"}, {"XDG_SESSION_TYPE", "x11"}});
    EXPECT_EQ(i3.kind, DesktopKind::x11Root);
    EXPECT_EQ(i3.name, "i3");
    EXPECT_EQ(detect({{"DISPLAY", ":0"}}).kind, DesktopKind::x11Root);
    EXPECT_EQ(detect({{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "tty"}}).kind, DesktopKind::x11Root);

    // Xwayland's DISPLAY does not make a Wayland session an X11 one: its root window is never seen.
    EXPECT_EQ(detect({{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}).kind, DesktopKind::unsupported);
    const DesktopSession hyprland =
        detect({{"XDG_CURRENT_DESKTOP", "Hyprland"}, {"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}});
    EXPECT_EQ(hyprland.kind, DesktopKind::unsupported);
    EXPECT_EQ(hyprland.name, "Hyprland");
}

TEST(DesktopSessionTest, NothingKnownIsUnsupported) {
    const DesktopSession nothing = detect({});
    EXPECT_EQ(nothing.kind, DesktopKind::unsupported);
    EXPECT_TRUE(nothing.name.isEmpty());
    // Empty values count as absent.
    EXPECT_EQ(detect({{"XDG_CURRENT_DESKTOP", ""}, {"DISPLAY", ""}, {"SWAYSOCK", ""}}).kind,
              DesktopKind::unsupported);
    EXPECT_EQ(detect({{"XDG_SESSION_TYPE", "wayland"}}).name, "wayland");
}

TEST(DesktopSessionTest, UnsupportedDesktopRefusesNamingIt) {
    const ScreenInfo screen{QStringLiteral("eDP-1"), QRect(0, 0, 1920, 1080), 0};
    try {
        makeUnsupportedBackend(QStringLiteral("Hyprland"))
            ->setPicture(QStringLiteral("/cache/a.jpg"), screen);
        FAIL() << "an unsupported desktop must refuse";
    } catch (const DesktopError &error) {
        EXPECT_EQ(error.localizedDescription(), "不支持在当前桌面环境（Hyprland）中设置壁纸。");
    }
    try {
        makeUnsupportedBackend(QString())->setPicture(QStringLiteral("/cache/a.jpg"), screen);
        FAIL() << "an unknown desktop must refuse";
    } catch (const DesktopError &error) {
        EXPECT_EQ(error.localizedDescription(), "无法识别当前的桌面环境，不支持在这里设置壁纸。");
    }
}

} // namespace
} // namespace lumivra
