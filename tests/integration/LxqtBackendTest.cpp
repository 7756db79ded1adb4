#include "PrivateBus.h"
#include "TempHome.h"
#include "client/Errors.h"
#include "system/DesktopPeer_linux.h"

#include <QDir>
#include <QImage>
#include <QSettings>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

// Against a real pcmanfm-qt managing the desktop of the test's X display, on a private bus, with its
// settings in a temporary HOME.
class LxqtBackendTest : public ::testing::Test {
protected:
    LxqtBackendTest() {
        // The user chose how the picture is fitted; setting a picture must not change that.
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Desktop/WallpaperMode"), QStringLiteral("center"));
    }

    // Started as an LXQt session starts it, with the session's own settings profile.
    void startPcmanfm() {
        bus.start(QStringLiteral("pcmanfm-qt"),
                  {QStringLiteral("--desktop"), QStringLiteral("--profile=lxqt")});
        ASSERT_TRUE(bus.waitForName(QStringLiteral("org.pcmanfm.PCManFM")));
    }

    QString settingsFile() const {
        return home.configHome() + QStringLiteral("/pcmanfm-qt/lxqt/settings.conf");
    }

    QString stored(const QString &key) const {
        return QSettings(settingsFile(), QSettings::IniFormat).value(key).toString();
    }

    QString setPicture(const QString &file, const ScreenInfo &screen) {
        try {
            // pcmanfm-qt's first start on a fresh, busy machine may take long to answer; the wait is not
            // under test.
            makeLxqtBackend(client, 60s)->setPicture(file, screen);
        } catch (const DesktopError &error) {
            return error.localizedDescription();
        }
        return {};
    }

    TempHome home;
    PrivateBus bus;
    QDBusConnection client = bus.connect(QStringLiteral("lxqt-client"));
    const ScreenInfo first{QStringLiteral("screen"), {0, 0, 1280, 800}, 0};
};

TEST_F(LxqtBackendTest, PcmanfmShowsAndSavesThePictureAndKeepsTheFitting) {
    ASSERT_NO_FATAL_FAILURE(startPcmanfm());
    const QString file = home.path() + QStringLiteral("/it's a \"picture\", 1.png");
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(file, "PNG"));

    EXPECT_EQ(setPicture(file, first), QString());
    // One picture serves every screen, so asking again for another screen is harmless.
    EXPECT_EQ(setPicture(file, {QStringLiteral("HDMI-1"), {1280, 0, 1024, 768}, 1}), QString());

    EXPECT_EQ(stored(QStringLiteral("Desktop/Wallpaper")), file);
    EXPECT_EQ(stored(QStringLiteral("Desktop/WallpaperMode")), QStringLiteral("center"));
}

TEST_F(LxqtBackendTest, APicturePcmanfmDropsIsAnError) {
    ASSERT_NO_FATAL_FAILURE(startPcmanfm());

    const QString error = setPicture(home.path() + QStringLiteral("/missing.png"), first);

    EXPECT_TRUE(error.startsWith(QStringLiteral("LXQt 桌面（pcmanfm-qt）没有采用屏幕 screen 的壁纸")))
        << error.toStdString();
}

TEST_F(LxqtBackendTest, WithoutPcmanfmNothingIsClaimed) {
    const QString error = setPicture(home.path() + QStringLiteral("/a.png"), first);
    EXPECT_TRUE(error.startsWith(QStringLiteral("无法连接 LXQt 桌面"))) << error.toStdString();
}

} // namespace
