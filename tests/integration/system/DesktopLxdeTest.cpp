#include "TempHome.h"
#include "Wait.h"
#include "X11Probe.h"
#include "client/Errors.h"
#include "system/WallpaperSetter.h"
#include "system/X11DesktopWindow_linux.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

// An LXDE session (this program's environment says so) on the test's X display, its desktop drawn by a
// real pcmanfm with its settings in a temporary HOME.
class DesktopLxdeTest : public ::testing::Test {
protected:
    ~DesktopLxdeTest() override {
        pcmanfm.kill();
        pcmanfm.waitForFinished();
    }

    // Started as LXDE's session starts it, with the session's own settings profile.
    void startPcmanfm() {
        pcmanfm.start(QStringLiteral("pcmanfm"),
                      {QStringLiteral("--desktop"), QStringLiteral("--profile=LXDE")});
        ASSERT_TRUE(test::waitUntil([&] { return desktopWindowCovering(whole()).has_value(); }));
    }

    QRect whole() const { return {QPoint(0, 0), x11.rootSize()}; }

    QString setPicture(const QString &file) {
        try {
            WallpaperSetter::set(file);
        } catch (const Error &error) {
            return error.localizedDescription();
        }
        return {};
    }

    test::TempHome home;
    test::X11Probe x11;
    QProcess pcmanfm;
};

TEST_F(DesktopLxdeTest, PcmanfmDrawsAndSavesThePicture) {
    ASSERT_NO_FATAL_FAILURE(startPcmanfm());
    const QString file = home.path() + QStringLiteral("/it's a \"picture\" = 壁纸.png");
    QImage picture(64, 40, QImage::Format_RGB32);
    picture.fill(QColor(16, 128, 192));
    ASSERT_TRUE(picture.save(file, "PNG"));

    EXPECT_EQ(setPicture(file), QString());

    const QPoint middle = whole().center();
    EXPECT_TRUE(test::waitUntil([&] {
        return test::near(x11.shownAt(middle.x(), middle.y()), picture.pixel(0, 0));
    })) << qPrintable(x11.shownAt(middle.x(), middle.y()).value_or(QColor()).name());
    QFile saved(home.configHome() + QStringLiteral("/pcmanfm/LXDE/desktop-items-0.conf"));
    EXPECT_TRUE(test::waitUntil([&] {
        saved.close();
        return saved.open(QIODevice::ReadOnly) &&
               saved.readAll().split('\n').contains(QByteArrayLiteral("wallpaper=") + file.toUtf8());
    }));
}

TEST_F(DesktopLxdeTest, WithoutPcmanfmNothingIsClaimed) {
    EXPECT_EQ(setPicture(home.path() + QStringLiteral("/a.png")),
              QStringLiteral("LXDE 桌面（pcmanfm）没有显示屏幕 %1 的桌面，壁纸没有设置。")
                  .arg(QGuiApplication::primaryScreen()->name()));
}

} // namespace
} // namespace lumivra
