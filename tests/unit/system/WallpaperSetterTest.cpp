#include "system/WallpaperSetter.h"

#include "client/Errors.h"

#include <QMap>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

// Remembers which screen shows which picture, and refuses the one screen it is told to refuse.
class RecordingBackend : public DesktopBackend {
public:
    void setPicture(const QString &imageFile, const ScreenInfo &screen) override {
        calls.append(screen.name);
        if (screen.name == refused)
            throw DesktopError(QStringLiteral("拒绝 %1").arg(screen.name));
        pictures[screen.name] = imageFile;
    }

    QString refused;
    QStringList calls;
    QMap<QString, QString> pictures;
};

const QList<ScreenInfo> screens = {{QStringLiteral("DP-1"), QRect(0, 0, 1920, 1080), 0},
                                   {QStringLiteral("DP-2"), QRect(1920, 0, 1920, 1080), 1},
                                   {QStringLiteral("HDMI-1"), QRect(3840, 0, 1280, 1024), 2}};

// Every screen in list order; the first refusal stops the rest and is the error reported.
TEST(WallpaperSetterTest, SetsEveryScreenUntilTheFirstRefusal) {
    RecordingBackend backend;
    WallpaperSetter::set(QStringLiteral("/cache/new.jpg"), screens, backend);
    EXPECT_EQ(backend.calls, (QStringList{"DP-1", "DP-2", "HDMI-1"}));

    backend.calls.clear();
    backend.refused = QStringLiteral("DP-2");
    try {
        WallpaperSetter::set(QStringLiteral("/cache/next.jpg"), screens, backend);
        ADD_FAILURE() << "a refused screen must fail the call";
    } catch (const DesktopError &error) {
        EXPECT_EQ(error.localizedDescription(), "拒绝 DP-2");
    }
    EXPECT_EQ(backend.calls, (QStringList{"DP-1", "DP-2"}));
    EXPECT_EQ(backend.pictures.values(),
              (QStringList{"/cache/next.jpg", "/cache/new.jpg", "/cache/new.jpg"}));
}

// This test program runs a QCoreApplication, so the platform reports no screen at all.
TEST(WallpaperSetterTest, NoScreenFailsWithoutAskingTheDesktop) {
    const auto failure = [](auto &&set) {
        try {
            set();
        } catch (const WallpaperClientError &error) {
            return error.localizedDescription();
        }
        return QStringLiteral("no error");
    };
    RecordingBackend backend;
    EXPECT_EQ(failure([&] { WallpaperSetter::set(QStringLiteral("/cache/new.jpg"), {}, backend); }),
              "没有找到可设置壁纸的屏幕。");
    EXPECT_EQ(failure([] { WallpaperSetter::set(QStringLiteral("/cache/new.jpg")); }),
              "没有找到可设置壁纸的屏幕。");
    EXPECT_TRUE(backend.calls.isEmpty());
}

} // namespace
} // namespace lumivra
