#include "system/WallpaperSetter.h"

#include "client/Errors.h"

#include <QMap>
#include <QSet>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

// Remembers which screen shows which picture, and refuses the screens it is told to refuse.
class RecordingBackend : public DesktopBackend {
public:
    void setPicture(const QString &imageFile, const ScreenInfo &screen) override {
        calls.append(screen.name);
        if (refused.contains(screen.name))
            throw DesktopError(QStringLiteral("拒绝 %1").arg(screen.name));
        pictures[screen.name] = imageFile;
    }

    QSet<QString> refused;
    QStringList calls;
    QMap<QString, QString> pictures;
};

QList<ScreenInfo> threeScreens() {
    return {{QStringLiteral("DP-1"), QRect(0, 0, 1920, 1080), 0},
            {QStringLiteral("DP-2"), QRect(1920, 0, 1920, 1080), 1},
            {QStringLiteral("HDMI-1"), QRect(3840, 0, 1280, 1024), 2}};
}

TEST(WallpaperSetterTest, SetsEveryScreenInListOrder) {
    RecordingBackend backend;
    WallpaperSetter::set(QStringLiteral("/cache/new.jpg"), threeScreens(), backend);

    EXPECT_EQ(backend.calls, (QStringList{"DP-1", "DP-2", "HDMI-1"}));
    for (const QString &picture : backend.pictures)
        EXPECT_EQ(picture, "/cache/new.jpg");
}

TEST(WallpaperSetterTest, OneScreenMeansOneCall) {
    RecordingBackend backend;
    WallpaperSetter::set(QStringLiteral("/cache/new.jpg"), {threeScreens().first()}, backend);
    EXPECT_EQ(backend.calls, QStringList{"DP-1"});
}

TEST(WallpaperSetterTest, StopsAtFirstRefusalWithThatError) {
    RecordingBackend backend;
    backend.pictures = {{"DP-1", "/cache/old.jpg"}, {"DP-2", "/cache/old.jpg"}, {"HDMI-1", "/cache/old.jpg"}};
    backend.refused = {QStringLiteral("DP-2")};

    try {
        WallpaperSetter::set(QStringLiteral("/cache/new.jpg"), threeScreens(), backend);
        FAIL() << "a refused screen must fail the call";
    } catch (const DesktopError &error) {
        EXPECT_EQ(error.localizedDescription(), "拒绝 DP-2");
    }
    EXPECT_EQ(backend.calls, (QStringList{"DP-1", "DP-2"}));
    EXPECT_EQ(backend.pictures["DP-1"], "/cache/new.jpg");
    EXPECT_EQ(backend.pictures["DP-2"], "/cache/old.jpg");
    EXPECT_EQ(backend.pictures["HDMI-1"], "/cache/old.jpg");
}

TEST(WallpaperSetterTest, NoScreenFailsWithoutAskingTheDesktop) {
    RecordingBackend backend;
    try {
        WallpaperSetter::set(QStringLiteral("/cache/new.jpg"), {}, backend);
        FAIL() << "no screen must fail the call";
    } catch (const WallpaperClientError &error) {
        EXPECT_EQ(error.kind(), WallpaperClientError::Kind::server);
        EXPECT_EQ(error.localizedDescription(), "没有找到可设置壁纸的屏幕。");
    }
    EXPECT_TRUE(backend.calls.isEmpty());
}

TEST(WallpaperSetterTest, WithoutGuiApplicationThereIsNoScreen) {
    // This test program runs a QCoreApplication, so the platform reports no screen at all.
    try {
        WallpaperSetter::set(QStringLiteral("/cache/new.jpg"));
        FAIL() << "no screen must fail the call";
    } catch (const WallpaperClientError &error) {
        EXPECT_EQ(error.localizedDescription(), "没有找到可设置壁纸的屏幕。");
    }
}

TEST(WallpaperSetterTest, SameFileAgainIsSetAgain) {
    RecordingBackend backend;
    WallpaperSetter::set(QStringLiteral("/cache/new.jpg"), threeScreens(), backend);
    WallpaperSetter::set(QStringLiteral("/cache/new.jpg"), threeScreens(), backend);
    EXPECT_EQ(backend.calls, (QStringList{"DP-1", "DP-2", "HDMI-1", "DP-1", "DP-2", "HDMI-1"}));
}

} // namespace
} // namespace lumivra
