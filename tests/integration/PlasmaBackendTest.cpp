#include "FakePlasmaShell.h"
#include "PrivateBus.h"
#include "TempHome.h"
#include "client/Errors.h"
#include "system/DBusCall_linux.h"

#include <QUrl>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

const QString imageKey = QStringLiteral("Wallpaper/org.kde.image/General/Image");

// A contract test: the fake runs our script in a real JavaScript engine against Plasma's scripting API.
class PlasmaBackendTest : public ::testing::Test {
protected:
    FakeDesktop desktop(int screen, QRect geometry) {
        FakeDesktop d;
        d.screen = screen;
        d.geometry = geometry;
        d.config.insert(imageKey, QStringLiteral("file:///usr/share/wallpapers/old.png"));
        return d;
    }

    QString setPicture(const QString &file, const ScreenInfo &screen,
                       std::chrono::milliseconds timeout = desktopCallTimeout) {
        try {
            makePlasmaBackend(client, timeout)->setPicture(file, screen);
        } catch (const DesktopError &error) {
            return error.localizedDescription();
        }
        return {};
    }

    TempHome home;
    PrivateBus bus;
    QDBusConnection client = bus.connect(QStringLiteral("plasma-client"));
    // Plasma numbers these two screens the other way round from Qt.
    const QRect leftScreen{0, 0, 1920, 1080};
    const QRect rightScreen{1920, 0, 1280, 1024};
};

TEST_F(PlasmaBackendTest, SetsTheImageOnEveryDesktopOfTheScreenWithTheSameRectangle) {
    // Two activities share the right screen.
    FakePlasmaShell shell(bus.address(),
                          {desktop(0, rightScreen), desktop(1, leftScreen), desktop(0, rightScreen)});
    // Quotes, backslashes, a line break, "%2" and a try at ending the string must all stay in the file name.
    const QString file = home.path() + QStringLiteral("/it's \"a\" \\ %2\nb\"); throw 1; (\" 壁纸.jpg");

    EXPECT_EQ(setPicture(file, {QStringLiteral("HDMI-1"), rightScreen, 1}), QString());

    const QList<FakeDesktop> after = shell.desktops();
    for (int i : {0, 2}) {
        EXPECT_EQ(after[i].wallpaperPlugin, QStringLiteral("org.kde.image"));
        EXPECT_EQ(after[i].config.value(imageKey), QUrl::fromLocalFile(file).toString());
        EXPECT_EQ(QUrl(after[i].config.value(imageKey)).toLocalFile(), file);
    }
    EXPECT_EQ(after[1].wallpaperPlugin, QStringLiteral("org.kde.color"));
    EXPECT_EQ(after[1].config.value(imageKey), QStringLiteral("file:///usr/share/wallpapers/old.png"));
}

TEST_F(PlasmaBackendTest, FallsBackToTheScreenPositionWhenNoRectangleMatches) {
    // Plasma scaled the screen, so its rectangle differs from the one Qt gave us.
    FakePlasmaShell shell(bus.address(), {desktop(0, {0, 0, 1280, 720}), desktop(1, {1280, 0, 1280, 720})});

    EXPECT_EQ(setPicture(QStringLiteral("/srv/pictures/a.jpg"), {QStringLiteral("DP-2"), rightScreen, 1}),
              QString());

    EXPECT_EQ(shell.desktops()[1].config.value(imageKey), QStringLiteral("file:///srv/pictures/a.jpg"));
    EXPECT_EQ(shell.desktops()[0].config.value(imageKey),
              QStringLiteral("file:///usr/share/wallpapers/old.png"));
}

TEST_F(PlasmaBackendTest, RefusalsBecomeErrorsThatSayWhy) {
    FakePlasmaShell shell(bus.address(), {desktop(0, leftScreen)});
    const ScreenInfo unknown{QStringLiteral("DP-9"), {5000, 0, 800, 600}, 4};
    EXPECT_TRUE(
        setPicture(QStringLiteral("/tmp/a.jpg"), unknown).contains(QStringLiteral("没有与屏幕 DP-9")));

    shell.ignoreWrites();
    EXPECT_TRUE(setPicture(QStringLiteral("/tmp/a.jpg"), {QStringLiteral("eDP-1"), leftScreen, 0})
                    .contains(QStringLiteral("没有保存屏幕 eDP-1 的壁纸设置")));

    shell.lockWidgets();
    const QString locked = setPicture(QStringLiteral("/tmp/a.jpg"), {QStringLiteral("eDP-1"), leftScreen, 0});
    EXPECT_TRUE(locked.startsWith(QStringLiteral("KDE Plasma 桌面拒绝设置壁纸"))) << locked.toStdString();
    EXPECT_TRUE(locked.contains(QStringLiteral("Widgets are locked"))) << locked.toStdString();
    EXPECT_EQ(shell.scriptsRun(), 3);
}

TEST_F(PlasmaBackendTest, AMissingOrSilentShellIsAnError) {
    const QString missing =
        setPicture(QStringLiteral("/tmp/a.jpg"), {QStringLiteral("eDP-1"), leftScreen, 0});
    EXPECT_TRUE(missing.startsWith(QStringLiteral("无法连接 KDE Plasma 桌面"))) << missing.toStdString();

    FakePlasmaShell shell(bus.address(), {desktop(0, leftScreen)});
    shell.hang();
    const QString silent =
        setPicture(QStringLiteral("/tmp/a.jpg"), {QStringLiteral("eDP-1"), leftScreen, 0}, 200ms);
    EXPECT_TRUE(silent.startsWith(QStringLiteral("KDE Plasma 桌面没有及时回应"))) << silent.toStdString();
}

} // namespace
