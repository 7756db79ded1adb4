#include "system/WallpaperSetter.h"

#include "client/Errors.h"

#include <gmock/gmock.h>

namespace lumivra {
namespace {

using testing::StrEq;
using testing::ThrowsMessage;

// Remembers which screens it was asked for, and refuses DP-2.
class RecordingBackend : public DesktopBackend {
public:
    void setPicture(const QString &, const ScreenInfo &screen) override {
        asked.append(screen.name);
        if (screen.name == QLatin1String("DP-2"))
            throw DesktopError(QStringLiteral("拒绝 DP-2"));
    }

    QStringList asked;
};

// Every screen in list order; the first refusal stops the rest and is the error reported. This program
// runs a QCoreApplication, so the platform reports no screen at all, which is an error of its own.
TEST(WallpaperSetterTest, SetsEveryScreenInOrderUntilTheFirstRefusal) {
    const ScreenInfo dp1{QStringLiteral("DP-1"), {0, 0, 1920, 1080}, 0};
    const ScreenInfo dp2{QStringLiteral("DP-2"), {1920, 0, 1920, 1080}, 1};
    const ScreenInfo hdmi{QStringLiteral("HDMI-1"), {3840, 0, 1280, 1024}, 2};
    RecordingBackend backend;
    WallpaperSetter::set(QStringLiteral("/cache/new.jpg"), {hdmi, dp1}, backend);
    EXPECT_THAT(
        [&] {
            WallpaperSetter::set(QStringLiteral("/cache/new.jpg"), {dp1, dp2, hdmi}, backend);
        },
        ThrowsMessage<DesktopError>(StrEq("拒绝 DP-2")));
    EXPECT_EQ(backend.asked, (QStringList{"HDMI-1", "DP-1", "DP-1", "DP-2"}));
    EXPECT_THAT([] { WallpaperSetter::set(QStringLiteral("/cache/new.jpg")); },
                ThrowsMessage<WallpaperClientError>(StrEq("没有找到可设置壁纸的屏幕。")));
}

} // namespace
} // namespace lumivra
