#include "Files.h"
#include "HeadlessSway.h"
#include "PrivateBus.h"
#include "TempHome.h"
#include "Wait.h"
#include "system/DesktopBackends.h"
#include "system/DesktopPeer_linux.h"
#include "system/WallpaperSetter.h"
#include "system/X11DesktopWindow_linux.h"
#include "system/XcbHandles_linux.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QUrl>
#include <gmock/gmock.h>
#include <xcb/xcb.h>

using namespace lumivra;
using namespace std::chrono_literals;
using testing::HasSubstr;

namespace {

// The test's 1280x800 Xvfb has one output, which X11 and the desktops call "screen".
const ScreenInfo xvfb{"screen", {0, 0, 1280, 800}, 0};

QRgb shown(int x = 640, int y = 400) {
    return QGuiApplication::primaryScreen()->grabWindow(0, x, y, 1, 1).toImage().pixel(0, 0);
}

// Whether the picture's green middle shows in the middle of the screen before the deadline.
bool showsPicture(std::chrono::milliseconds deadline = 20s) {
    return test::waitUntil([] { return shown() == QColor(Qt::green).rgb(); }, deadline);
}

// A square picture every user may read: a red top quarter, the rest green.
QString picture(const QString &file) {
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(Qt::green);
    QPainter(&image).fillRect(0, 0, 100, 25, Qt::red);
    image.save(file, "PNG");
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return file;
}

// Whether the desktop saves the line in its file before the deadline.
bool saves(const QString &path, const QByteArray &line) {
    return test::waitUntil([&] { return test::readFile(path).split('\n').contains(line); });
}

// Why the desktop refused the picture; "" when it took it.
std::string set(DesktopBackend &backend, const QString &file, const ScreenInfo &screen = xvfb) {
    try {
        backend.setPicture(file, screen);
    } catch (const DesktopError &error) {
        return error.what();
    }
    return {};
}

// The pixmap the root window publishes for programs that draw over the desktop picture.
xcb_pixmap_t publishedPixmap() {
    QProcess xprop;
    xprop.start("xprop", {"-root", "_XROOTPMAP_ID"});
    xprop.waitForFinished();
    return xprop.readAllStandardOutput().split('#').last().trimmed().toUInt(nullptr, 16);
}

bool exists(xcb_pixmap_t pixmap) {
    xcb_connection_t *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    return Reply<xcb_get_geometry_reply_t>(
               xcb_get_geometry_reply(x11, xcb_get_geometry(x11, pixmap), nullptr)) != nullptr;
}

// Each desktop the real program users run, on the test's X display (or a headless sway) with its files in
// a temporary HOME; the D-Bus desktops on a private bus. This program's own environment announces a plain
// X11 session.
class DesktopTest : public ::testing::Test {
protected:
    ~DesktopTest() override { qunsetenv("SWAYSOCK"); }

    // What xfconf-query prints: a property's value, nothing when there is none.
    QString xfconf(const QString &channel, const QStringList &arguments) {
        QProcess &query = bus.start("xfconf-query", QStringList{"-c", channel, "-p"} + arguments);
        query.waitForFinished();
        return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    }

    test::TempHome home;
    test::PrivateBus bus;
    QDBusConnection client = bus.connect("client");
};

TEST_F(DesktopTest, RootWindowIsFilledScreenByScreenAndTheReplacedPictureFreed) {
    const QString file = picture(home.path() + "/banded.png");
    WallpaperSetter::set(file);
    // Published for other programs, and kept after the setter's connection closed.
    const xcb_pixmap_t first = publishedPixmap();
    EXPECT_TRUE(exists(first));
    // Scaled to 1280x1280 with 240 rows cut at top and bottom: 80 rows of red stay.
    EXPECT_EQ(shown(0, 40), QColor(Qt::red).rgb());

    // A 640x800 half takes the square scaled to 800x800: 200 rows of red. The first screen refused stops the
    // rest, which still shows the first picture's green at row 100.
    const ScreenInfo left{"left", {0, 0, 640, 800}, 0}, far{"far", {5000, 0, 640, 800}, 1},
        right{"right", {640, 0, 640, 800}, 2};
    const auto backend = makeX11RootBackend();
    EXPECT_THAT(
        [&] {
            WallpaperSetter::set(file, {left, far, right}, *backend);
        },
        testing::ThrowsMessage<DesktopError>("无法设置 X11 桌面的壁纸：屏幕 far 不在根窗口之内。"));
    EXPECT_FALSE(exists(first));
    EXPECT_EQ(shown(639, 100), QColor(Qt::red).rgb());
    EXPECT_EQ(shown(640, 100), QColor(Qt::green).rgb());
    EXPECT_EQ(set(*backend, file, right), "");
    EXPECT_EQ(shown(640, 100), QColor(Qt::red).rgb());

    // ESETROOT_PMAP_ID left naming a pixmap that a live program holds now, while the shown picture is
    // another: that pixmap is nobody's to free, and its program lives on.
    const XcbConnection live(xcb_connect(nullptr, nullptr));
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(live.get())).data;
    const xcb_pixmap_t held = xcb_generate_id(live.get());
    xcb_create_pixmap(live.get(), screen->root_depth, held, screen->root, 1, 1);
    const Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(live.get(), xcb_intern_atom(live.get(), 0, 16, "ESETROOT_PMAP_ID"), nullptr));
    xcb_change_property(live.get(), XCB_PROP_MODE_REPLACE, screen->root, atom->atom, XCB_ATOM_PIXMAP, 32, 1,
                        &held);
    const auto alive = [&] { // a round trip, so the server has done everything asked before
        free(xcb_get_input_focus_reply(live.get(), xcb_get_input_focus(live.get()), nullptr));
        return xcb_connection_has_error(live.get()) == 0;
    };
    ASSERT_TRUE(alive());
    EXPECT_EQ(set(*backend, file, right), "");
    EXPECT_TRUE(alive()) << "a live program's X client was killed";
}

TEST_F(DesktopTest, PcmanfmShowsThePictureInLxdeAndHidesTheRootWindow) {
    const QString file = picture(home.path() + "/it's a \"picture\" = 壁纸.png");
    const auto lxde = makeLxdeBackend();
    EXPECT_EQ(set(*lxde, file), "LXDE 桌面（pcmanfm）没有显示屏幕 screen 的桌面，壁纸没有设置。");
    // Started as LXDE's session starts it, with the session's own settings profile.
    bus.start("pcmanfm", {"--desktop", "--profile=LXDE"});
    EXPECT_TRUE(test::waitUntil([&] { return set(*lxde, file).empty(); }, 60s));
    EXPECT_TRUE(showsPicture());
    EXPECT_TRUE(
        saves(home.configHome() + "/pcmanfm/LXDE/desktop-items-0.conf", "wallpaper=" + file.toUtf8()));
    EXPECT_EQ(set(*makeX11RootBackend(), file),
              "无法设置 X11 桌面的壁纸：屏幕 screen 被 Pcmanfm 的桌面窗口覆盖，不支持在这个桌面中设置壁纸。");
}

TEST_F(DesktopTest, PlasmaSavesThePictureForTheScreensDesktopOnly) {
    // As a Plasma session starts it, with the activity manager its D-Bus activation would start.
    bus.start("env", {"XDG_CURRENT_DESKTOP=KDE", qEnvironmentVariable("LUMIVRA_KACTIVITYMANAGERD")});
    bus.start("env", {"XDG_CURRENT_DESKTOP=KDE", "plasmashell", "--no-respawn"});
    ASSERT_TRUE(bus.waitForName("org.kde.plasmashell"));
    const auto plasma = makePlasmaBackend(client, 60s);
    // Quotes, "%2" and a try at ending the script's string must all stay in the file name. Plasma owns its
    // name before it has loaded its desktops, and says until then that the screen has none.
    const QString file = picture(home.path() + "/it's \"a\" %2\"); throw 1; (\" 壁纸.png");
    EXPECT_TRUE(test::waitUntil([&] { return set(*plasma, file).empty(); }, 60s));
    EXPECT_TRUE(saves(home.configHome() + "/plasma-org.kde.plasma.desktop-appletsrc",
                      "Image=" + QUrl::fromLocalFile(file).toString().toUtf8()));
    EXPECT_THAT(set(*plasma, file, {"DP-9", {5000, 0, 800, 600}, 4}),
                HasSubstr("KDE Plasma 中没有与屏幕 DP-9（800×600，位置 5000,0）对应的桌面"));
}

TEST_F(DesktopTest, XfceShowsThePictureOnEveryWorkspaceOfTheMonitorAndNoOtherMonitor) {
    const auto xfce = makeXfceBackend(client, 60s);
    // Unreachable, like every desktop asked over D-Bus when it is not running.
    EXPECT_THAT(set(*xfce, "/a.png"), HasSubstr("无法连接 XFCE 桌面（org.xfce.Xfconf）"));
    EXPECT_THAT(set(*xfce, "/a.png", {"", {0, 0, 800, 600}, 1}), HasSubstr("第 2 块屏幕没有名称"));
    // DP-2's first picture is fixed by an administrator for everyone else; xfconfd reads such settings when
    // it starts.
    ASSERT_TRUE(test::writeFile(
        home.path() + "/system/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml",
        R"(<channel name="xfce4-desktop" version="1.0"><property name="backdrop" type="empty">)"
        R"(<property name="screen0" type="empty"><property name="monitorDP-2" type="empty">)"
        R"(<property name="workspace0" type="empty"><property name="last-image" type="string" )"
        R"(value="/company.png" unlocked="admin"/></property></property></property></property></channel>)"));
    bus.start("env", {"XDG_CONFIG_DIRS=" + home.path() + "/system", qEnvironmentVariable("LUMIVRA_XFCONFD")});
    ASSERT_TRUE(bus.waitForName("org.xfce.Xfconf"));
    EXPECT_THAT(set(*xfce, "/a.png", {"DP-2", {0, 0, 800, 600}, 1}),
                HasSubstr("XFCE 桌面拒绝设置壁纸：Permission denied"));

    // xfdesktop (told not to wait for a window manager) takes a while to take the screen, and xfdesktop 4.18
    // (Debian 12) saves its own picture then, over any picture set before.
    bus.start("xfdesktop", {"--disable-wm-check"});
    const QString file = picture(home.path() + "/it's a \"picture\".png");
    EXPECT_TRUE(test::waitUntil([&] { return set(*xfce, file).empty() && showsPicture(2s); }, 60s));

    const QString lastImage = "/backdrop/screen0/monitor%1/workspace%2/last-image";
    xfconf("xfce4-desktop", {lastImage.arg("HDMI-1").arg(4), "-n", "-t", "string", "-s", "/old.png"});
    xfconf("xfce4-desktop", {lastImage.arg("HDMI-10").arg(6), "-n", "-t", "string", "-s", "/old.png"});
    xfconf("xfwm4", {"/general/workspace_count", "-n", "-t", "int", "-s", "3"});
    // HDMI-1 has the five workspaces xfdesktop knows for it, eDP-1 the window manager's three. A relative
    // name is made absolute: xfdesktop does not know our working directory.
    for (const auto &[monitor, count] : {std::pair{"HDMI-1", 5}, std::pair{"eDP-1", 3}}) {
        EXPECT_EQ(set(*xfce, "new.png", {monitor, {0, 0, 1920, 1080}, 0}), "");
        for (int workspace = 0; workspace <= count; ++workspace)
            EXPECT_EQ(xfconf("xfce4-desktop", {lastImage.arg(monitor).arg(workspace)}),
                      workspace < count ? QDir::current().absoluteFilePath("new.png") : QString())
                << monitor << ' ' << workspace;
    }
}

TEST_F(DesktopTest, PcmanfmQtShowsThePictureAndKeepsTheFitting) {
    // The user chose how the picture is fitted; setting a picture must not change that.
    const QString settings = home.configHome() + "/pcmanfm-qt/lxqt/settings.conf";
    QSettings(settings, QSettings::IniFormat).setValue("Desktop/WallpaperMode", "center");
    // Started as an LXQt session starts it, with the session's own settings profile. pcmanfm-qt 2.1 (Debian
    // 13) now and then deadlocks while it loads the desktop (a folder listing that failed waits for the main
    // thread, which waits for the listing) and never answers: such a start is made again.
    const auto lxqt = makeLxqtBackend(client, 30s);
    const QString file = picture(home.path() + "/it's a \"picture\", 1.png");
    std::string refused = "not started";
    for (int start = 0; start < 3 && !refused.empty(); ++start) {
        QProcess &pcmanfm = bus.start("pcmanfm-qt", {"--desktop", "--profile=lxqt"});
        ASSERT_TRUE(bus.waitForName("org.pcmanfm.PCManFM"));
        if (!(refused = set(*lxqt, file)).empty()) {
            pcmanfm.kill();
            pcmanfm.waitForFinished();
        }
    }
    EXPECT_EQ(refused, "");
    EXPECT_TRUE(showsPicture());
    EXPECT_EQ(QSettings(settings, QSettings::IniFormat).value("Desktop/WallpaperMode"), "center");
    EXPECT_THAT(set(*lxqt, home.path() + "/missing.png"),
                HasSubstr("LXQt 桌面（pcmanfm-qt）没有采用屏幕 screen 的壁纸"));
}

// sway itself starts swaybg, which the setter waits to see showing the picture, file name byte for byte:
// blanks (two in a row, too), quotes, a backslash and shell syntax must reach swaybg unchanged. A missing
// swaybg is given a second to show up.
TEST_F(DesktopTest, SwayShowsThePictureThroughSwaybg) {
    for (const auto &[configuration, output, reason] :
         {std::tuple{"", "HEADLESS-1", ""},
          {"", "HDMI-A-9", "sway 没有名为 HDMI-A-9 的输出，无法设置壁纸。"},
          {"swaybg_command /nonexistent/swaybg\n", "HEADLESS-1",
           "sway 没有显示输出 HEADLESS-1 的壁纸：缺少 swaybg（sway 用它显示壁纸），请安装 swaybg。"}}) {
        test::HeadlessSway sway(configuration);
        ASSERT_FALSE(sway.ipcSocket().isEmpty()) << qPrintable(sway.log());
        qputenv("SWAYSOCK", QFile::encodeName(sway.ipcSocket()));
        const QString file = picture(sway.sharedFolder() + "/a  b \"c\" 'd' \\e $HOME `x` ~.png");
        EXPECT_EQ(set(*makeSwayBackend(*reason ? 1s : 60s), file, {output, {0, 0, 1920, 1080}, 0}), reason);
    }
}

} // namespace
