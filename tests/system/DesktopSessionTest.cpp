#include "system/DesktopSession.h"

#include "system/DesktopBackends.h"
#include "system/WallpaperSetter.h"

#include <gmock/gmock.h>
#include <tuple>

namespace lumivra {
namespace {

using testing::ThrowsMessage;

// The announced desktop decides, the first name the program knows winning; then the session name; then
// the display hints. Empty values count as absent.
TEST(DesktopSessionTest, DetectsTheDesktopFromTheEnvironmentOrSaysWhyNoneCanBeSet) {
    using enum DesktopKind;
    for (const auto &[variables, kind, name] : {
             std::tuple{"XDG_CURRENT_DESKTOP=ubuntu:GNOME", gnome, "ubuntu"},
             {"XDG_CURRENT_DESKTOP=i3:X-Cinnamon DESKTOP_SESSION=kde SWAYSOCK=/s", cinnamon, "X-Cinnamon"},
             {"XDG_CURRENT_DESKTOP=i3 DESKTOP_SESSION=/usr/share/xsessions/xfce", xfce, "xfce"},
             {"SWAYSOCK=/run/sway.sock XDG_SESSION_TYPE=wayland", sway, "sway"},
             {"XDG_CURRENT_DESKTOP=i3 XDG_SESSION_TYPE=x11", x11Root, "i3"},
             {"DISPLAY=:0 XDG_SESSION_TYPE=tty", x11Root, "X11"},
             // Xwayland's DISPLAY does not make a Wayland session an X11 one: its root window is never seen.
             {"DISPLAY=:0 WAYLAND_DISPLAY=wayland-0", unsupported, ""},
             {"XDG_CURRENT_DESKTOP=Hyprland DISPLAY=:0 XDG_SESSION_TYPE=wayland", unsupported, "Hyprland"},
             {"XDG_CURRENT_DESKTOP= DISPLAY= SWAYSOCK=", unsupported, ""},
         }) {
        QProcessEnvironment environment;
        for (const QString &variable : QString(variables).split(' '))
            environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
        const DesktopSession session = detectDesktopSession(environment);
        EXPECT_EQ(std::pair(session.kind, session.name), std::pair(kind, QString(name))) << variables;
    }

    // No desktop to set, no screen (this program runs a QCoreApplication, so the platform reports none) or
    // no desktop's schema (XDG_DATA_DIRS names an empty folder, and GIO would abort the process if asked for
    // a missing schema regardless): each an error that says so.
    EXPECT_THAT([] { makeUnsupportedBackend("Hyprland")->setPicture("/a.jpg", {}); },
                ThrowsMessage<DesktopError>("不支持在当前桌面环境（Hyprland）中设置壁纸。"));
    EXPECT_THAT([] { WallpaperSetter::set("/a.jpg"); },
                ThrowsMessage<DesktopError>("没有找到可设置壁纸的屏幕。"));
    EXPECT_THAT([] { makeGSettingsBackend(GSettingsDesktop::mate)->setPicture("/a.jpg", {}); },
                ThrowsMessage<DesktopError>("找不到桌面的壁纸设置（org.mate.background），无法设置壁纸。"));
}

} // namespace
} // namespace lumivra
