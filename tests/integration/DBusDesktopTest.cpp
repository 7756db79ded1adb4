#include "PrivateBus.h"
#include "TempHome.h"
#include "Wait.h"
#include "client/Errors.h"
#include "system/DesktopPeer_linux.h"

#include <QDBusInterface>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QUrl>
#include <gmock/gmock.h>
#include <pwd.h>
#include <unistd.h>

using namespace lumivra;
using namespace std::chrono_literals;
using testing::HasSubstr;

namespace {

// The test's Xvfb has one output, which X11 and the desktops call "screen".
const ScreenInfo xvfb{"screen", {0, 0, 1280, 800}, 0};
const ScreenInfo hdmi{"HDMI-1", {0, 0, 1920, 1080}, 0};

QString lastImage(const QString &monitor, int workspace) {
    return QString("/backdrop/screen0/monitor%1/workspace%2/last-image").arg(monitor).arg(workspace);
}

QRgb shown() {
    return QGuiApplication::primaryScreen()->grabWindow(0, 640, 400, 1, 1).toImage().pixel(0, 0);
}

// A desktop that scales the picture may round its colour.
bool showsBlue() {
    return std::abs(qRed(shown()) - 16) + std::abs(qGreen(shown()) - 128) + std::abs(qBlue(shown()) - 192) <=
           6;
}

void write(const QString &file, const QByteArray &text) {
    QDir().mkpath(QFileInfo(file).path());
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(text) == text.size());
}

// The desktops asked over D-Bus, each the real program on the test's X display and a private bus, with its
// files in a temporary HOME. A first start on a busy machine may take long; that wait is not under test.
class DBusDesktopTest : public ::testing::Test {
protected:
    void start(const QString &program, const QStringList &arguments, const QString &name,
               const QProcessEnvironment &environment = {}) {
        bus.start(program, arguments, environment);
        ASSERT_TRUE(bus.waitForName(name)) << qPrintable(program);
    }

    // A Plasma session starts the activity manager by D-Bus activation, which the private bus does not do.
    void startPlasma() {
        QProcessEnvironment kde;
        kde.insert("XDG_CURRENT_DESKTOP", "KDE");
        bus.start(qEnvironmentVariable("LUMIVRA_KACTIVITYMANAGERD"), {}, kde);
        start("plasmashell", {"--no-respawn"}, "org.kde.plasmashell", kde);
    }

    QString bluePicture(const QString &name) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(QColor(16, 128, 192));
        image.save(home.path() + '/' + name, "PNG");
        return home.path() + '/' + name;
    }

    // Why the desktop refused the picture; "" when it took it.
    std::string set(std::unique_ptr<DesktopBackend> (*make)(const QDBusConnection &,
                                                            std::chrono::milliseconds),
                    const QString &file, const ScreenInfo &screen) {
        try {
            make(client, 60s)->setPicture(file, screen);
        } catch (const DesktopError &error) {
            return error.what();
        }
        return {};
    }

    // What xfconf-query prints: a property's value, nothing when there is none.
    QString xfconfQuery(const QStringList &arguments) {
        QProcess &query = bus.start("xfconf-query", QStringList{"-c", "xfce4-desktop", "-p"} + arguments);
        query.waitForFinished();
        return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    }

    test::TempHome home;
    test::PrivateBus bus;
    QDBusConnection client = bus.connect("client");
};

TEST_F(DBusDesktopTest, PlasmaSavesThePictureForTheScreensDesktopOnly) {
    EXPECT_THAT(set(makePlasmaBackend, "/a.png", xvfb),
                HasSubstr("无法连接 KDE Plasma 桌面（org.kde.plasmashell）"));
    ASSERT_NO_FATAL_FAILURE(startPlasma());
    // Plasma owns its name before it has loaded its desktops.
    QDBusInterface shell("org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell", client);
    ASSERT_TRUE(test::waitUntil(
        [&] {
            return shell.call("evaluateScript", "print(desktops().length)").arguments().value(0).toInt() > 0;
        },
        60s));
    // Quotes, "%2" and a try at ending the script's string must all stay in the file name.
    const QString file = bluePicture("it's \"a\" %2\"); throw 1; (\" 壁纸.png");
    EXPECT_EQ(set(makePlasmaBackend, file, xvfb), "");
    QFile layout(home.configHome() + "/plasma-org.kde.plasma.desktop-appletsrc");
    EXPECT_TRUE(test::waitUntil([&] {
        layout.close();
        return layout.open(QIODevice::ReadOnly) &&
               layout.readAll().split('\n').contains("Image=" +
                                                     QUrl::fromLocalFile(file).toString().toUtf8());
    }));
    EXPECT_THAT(set(makePlasmaBackend, file, {"DP-9", {5000, 0, 800, 600}, 4}),
                HasSubstr("KDE Plasma 中没有与屏幕 DP-9（800×600，位置 5000,0）对应的桌面"));
}

TEST_F(DBusDesktopTest, PlasmaForbiddenToRunScriptsRefuses) {
    write(home.configHome() + "/kdeglobals",
          "[KDE Action Restrictions]\nplasma-desktop/scripting_console=false\n");
    ASSERT_NO_FATAL_FAILURE(startPlasma());
    EXPECT_THAT(set(makePlasmaBackend, "/a.png", xvfb),
                HasSubstr("KDE Plasma 桌面拒绝设置壁纸：Administrative policies prevent script execution"));
}

TEST_F(DBusDesktopTest, XfconfdGetsThePictureOnEveryWorkspaceOfTheMonitorAndNoOtherMonitor) {
    EXPECT_THAT(set(makeXfceBackend, "/a.png", hdmi), HasSubstr("无法连接 XFCE 桌面"));
    EXPECT_THAT(set(makeXfceBackend, "/a.png", {"", {0, 0, 800, 600}, 1}), HasSubstr("第 2 块屏幕没有名称"));
    // DP-2's first picture is fixed by an administrator; xfconfd reads such settings when it starts.
    write(home.path() + "/system/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml",
          R"(<channel name="xfce4-desktop" version="1.0"><property name="backdrop" type="empty">)"
          R"(<property name="screen0" type="empty"><property name="monitorDP-2" type="empty">)"
          R"(<property name="workspace0" type="empty"><property name="last-image" type="string" )"
          R"(value="/company.png" locked=")" +
              QByteArray(::getpwuid(::getuid())->pw_name) +
              R"("/></property></property></property></property></channel>)");
    QProcessEnvironment system;
    system.insert("XDG_CONFIG_DIRS", home.path() + "/system");
    ASSERT_NO_FATAL_FAILURE(start(qEnvironmentVariable("LUMIVRA_XFCONFD"), {}, "org.xfce.Xfconf", system));
    EXPECT_THAT(set(makeXfceBackend, "/a.png", {"DP-2", {0, 0, 800, 600}, 1}),
                HasSubstr("XFCE 桌面拒绝设置壁纸：Permission denied"));

    xfconfQuery({lastImage("HDMI-1", 4), "-n", "-t", "string", "-s", "/old.png"});
    xfconfQuery({lastImage("HDMI-10", 6), "-n", "-t", "string", "-s", "/old.png"});
    bus.start("xfconf-query", {"-c", "xfwm4", "-p", "/general/workspace_count", "-n", "-t", "int", "-s", "3"})
        .waitForFinished();
    // A relative name is made absolute: xfdesktop does not know our working directory.
    EXPECT_EQ(set(makeXfceBackend, "new.png", hdmi), "");
    EXPECT_EQ(set(makeXfceBackend, "new.png", {"eDP-1", {1920, 0, 1280, 800}, 1}), "");
    // HDMI-1 has the five workspaces xfdesktop knows for it, eDP-1 the window manager's three.
    for (const auto &[monitor, count] : {std::pair{"HDMI-1", 5}, std::pair{"eDP-1", 3}}) {
        for (int workspace = 0; workspace <= count; ++workspace)
            EXPECT_EQ(xfconfQuery({lastImage(monitor, workspace)}),
                      workspace < count ? QDir::current().absoluteFilePath("new.png") : QString())
                << monitor << ' ' << workspace;
    }
    EXPECT_EQ(xfconfQuery({lastImage("HDMI-10", 6)}), "/old.png");
}

TEST_F(DBusDesktopTest, XfdesktopDrawsThePicture) {
    ASSERT_NO_FATAL_FAILURE(start(qEnvironmentVariable("LUMIVRA_XFCONFD"), {}, "org.xfce.Xfconf"));
    const QRgb bare = shown();
    // Without a window manager xfdesktop waits for one unless told not to.
    bus.start("xfdesktop", {"--disable-wm-check"});
    // xfdesktop has taken the screen once it has drawn its own backdrop; xfdesktop 4.18 (Debian 12) may
    // draw it in the bare screen's colour, but saves it as its picture then, over any picture set before.
    QProcess &version = bus.start("xfdesktop", {"--version"});
    const bool savesDefault = version.waitForFinished() && version.readAll().contains("version 4.18");
    ASSERT_TRUE(test::waitUntil(
        [&] { return savesDefault ? !xfconfQuery({lastImage("screen", 0)}).isEmpty() : shown() != bare; },
        60s));
    EXPECT_EQ(set(makeXfceBackend, bluePicture("it's a \"picture\".png"), xvfb), "");
    EXPECT_TRUE(test::waitUntil(showsBlue)) << QColor(shown()).name().toStdString();
}

TEST_F(DBusDesktopTest, PcmanfmQtShowsAndSavesThePictureAndKeepsTheFitting) {
    EXPECT_THAT(set(makeLxqtBackend, "/a.png", xvfb), HasSubstr("无法连接 LXQt 桌面"));
    // The user chose how the picture is fitted; setting a picture must not change that.
    const QString settings = home.configHome() + "/pcmanfm-qt/lxqt/settings.conf";
    QSettings(settings, QSettings::IniFormat).setValue("Desktop/WallpaperMode", "center");
    // Started as an LXQt session starts it, with the session's own settings profile.
    ASSERT_NO_FATAL_FAILURE(start("pcmanfm-qt", {"--desktop", "--profile=lxqt"}, "org.pcmanfm.PCManFM"));
    const QString file = bluePicture("it's a \"picture\", 1.png");
    EXPECT_EQ(set(makeLxqtBackend, file, xvfb), "");
    // One picture serves every screen, so asking again for another screen is harmless.
    EXPECT_EQ(set(makeLxqtBackend, file, {"HDMI-1", {1280, 0, 1024, 768}, 1}), "");
    EXPECT_TRUE(test::waitUntil(showsBlue)) << QColor(shown()).name().toStdString();
    const QSettings saved(settings, QSettings::IniFormat);
    EXPECT_EQ(saved.value("Desktop/Wallpaper"), file);
    EXPECT_EQ(saved.value("Desktop/WallpaperMode"), "center");
    EXPECT_THAT(set(makeLxqtBackend, home.path() + "/missing.png", xvfb),
                HasSubstr("LXQt 桌面（pcmanfm-qt）没有采用屏幕 screen 的壁纸"));
}

} // namespace
