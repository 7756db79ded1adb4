#include "TempHome.h"
#include "Wait.h"
#include "X11Probe.h"
#include "client/Errors.h"
#include "system/DesktopBackends.h"
#include "system/WallpaperSetter.h"
#include "system/X11DesktopWindow_linux.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

using test::near;

class DesktopX11RootTest : public ::testing::Test {
protected:
    // A square picture in three horizontal bands: red top quarter, green half, blue bottom quarter.
    QString bandedPicture() const {
        QImage image(100, 100, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.fillRect(0, 0, 100, 25, Qt::red);
        painter.fillRect(0, 25, 100, 50, Qt::green);
        painter.fillRect(0, 75, 100, 25, Qt::blue);
        painter.end();
        const QString file = home.path() + QStringLiteral("/banded.png");
        image.save(file);
        return file;
    }

    QString solidPicture(const QString &name, QColor colour) const {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(colour);
        const QString file = home.path() + QLatin1Char('/') + name;
        image.save(file);
        return file;
    }

    ScreenInfo whole() const { return {QStringLiteral("screen"), QRect(QPoint(0, 0), x11.rootSize()), 0}; }

    // The description of the error setting the picture ends in, or "" when it succeeds.
    QString failure(DesktopBackend &backend, const QString &file) const {
        try {
            backend.setPicture(file, whole());
        } catch (const DesktopError &error) {
            return error.localizedDescription();
        }
        return {};
    }

    test::TempHome home;
    test::X11Probe x11;
};

TEST_F(DesktopX11RootTest, PictureFillsTheScreenAndIsPublished) {
    ASSERT_TRUE(x11.ok());
    const QSize root = x11.rootSize();
    makeX11RootBackend()->setPicture(bandedPicture(), whole());

    const xcb_pixmap_t pixmap = x11.pixmapProperty("_XROOTPMAP_ID");
    ASSERT_NE(pixmap, static_cast<xcb_pixmap_t>(XCB_NONE));
    EXPECT_EQ(x11.pixmapProperty("ESETROOT_PMAP_ID"), pixmap);

    // A 1280x800 screen takes the square picture scaled to 1280x1280 with 240 rows cut at top and bottom:
    // 80 rows of red and of blue stay, and the picture reaches both side edges.
    const int w = root.width(), h = root.height();
    const int band = w / 4 - (w - h) / 2; // rows of red (and of blue) left on screen
    ASSERT_GT(band, 20);
    for (const xcb_drawable_t drawable : {static_cast<xcb_drawable_t>(pixmap), x11.root()}) {
        EXPECT_TRUE(near(x11.colourAt(drawable, 0, band / 2), Qt::red));
        EXPECT_TRUE(near(x11.colourAt(drawable, w - 1, band / 2), Qt::red));
        EXPECT_TRUE(near(x11.colourAt(drawable, w / 2, h / 2), Qt::green));
        EXPECT_TRUE(near(x11.colourAt(drawable, 0, band + 10), Qt::green));
        EXPECT_TRUE(near(x11.colourAt(drawable, w - 1, h - band / 2), Qt::blue));
    }
}

TEST_F(DesktopX11RootTest, EachScreenRectangleGetsItsPictureAndKeepsIt) {
    ASSERT_TRUE(x11.ok());
    const QSize root = x11.rootSize();
    const int half = root.width() / 2;
    const auto backend = makeX11RootBackend();
    backend->setPicture(solidPicture(QStringLiteral("left.png"), Qt::yellow),
                        {QStringLiteral("left"), QRect(0, 0, half, root.height()), 0});
    backend->setPicture(solidPicture(QStringLiteral("right.png"), Qt::magenta),
                        {QStringLiteral("right"), QRect(half, 0, root.width() - half, root.height()), 1});

    const xcb_pixmap_t pixmap = x11.pixmapProperty("_XROOTPMAP_ID");
    for (const xcb_drawable_t drawable : {static_cast<xcb_drawable_t>(pixmap), x11.root()}) {
        EXPECT_TRUE(near(x11.colourAt(drawable, 0, 0), Qt::yellow));
        EXPECT_TRUE(near(x11.colourAt(drawable, half - 1, root.height() - 1), Qt::yellow));
        EXPECT_TRUE(near(x11.colourAt(drawable, half, 0), Qt::magenta));
        EXPECT_TRUE(near(x11.colourAt(drawable, root.width() - 1, root.height() - 1), Qt::magenta));
    }
}

TEST_F(DesktopX11RootTest, NewPictureFreesThePixmapOfTheLastOne) {
    ASSERT_TRUE(x11.ok());
    const auto backend = makeX11RootBackend();
    backend->setPicture(solidPicture(QStringLiteral("first.png"), Qt::cyan), whole());
    const xcb_pixmap_t first = x11.pixmapProperty("ESETROOT_PMAP_ID");
    ASSERT_TRUE(x11.exists(first)) << "the pixmap must outlive the setter's connection";

    backend->setPicture(solidPicture(QStringLiteral("second.png"), Qt::darkGreen), whole());
    const xcb_pixmap_t second = x11.pixmapProperty("ESETROOT_PMAP_ID");
    EXPECT_NE(second, first);
    EXPECT_EQ(x11.pixmapProperty("_XROOTPMAP_ID"), second);
    EXPECT_TRUE(x11.exists(second));
    EXPECT_FALSE(x11.exists(first));
    EXPECT_TRUE(near(x11.colourAt(x11.root(), 5, 5), Qt::darkGreen));
}

// An unreadable image, and a desktop this client does not support drawn over the root (pcmanfm started by
// hand in a plain X11 session): each a failure that says why, the picture before left in place.
TEST_F(DesktopX11RootTest, FailuresLeaveThePictureBefore) {
    ASSERT_TRUE(x11.ok());
    const auto backend = makeX11RootBackend();
    backend->setPicture(solidPicture(QStringLiteral("before.png"), Qt::gray), whole());
    const xcb_pixmap_t before = x11.pixmapProperty("_XROOTPMAP_ID");

    const QString broken = home.path() + QStringLiteral("/broken.jpg");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    EXPECT_EQ(failure(*backend, broken), QStringLiteral("无法读取壁纸图片“%1”。").arg(broken));
    EXPECT_EQ(x11.pixmapProperty("_XROOTPMAP_ID"), before);
    EXPECT_TRUE(near(x11.colourAt(x11.root(), 5, 5), Qt::gray));

    QProcess pcmanfm;
    pcmanfm.start(QStringLiteral("pcmanfm"), {QStringLiteral("--desktop")});
    ASSERT_TRUE(test::waitUntil([&] { return desktopWindowCovering(whole().geometry).has_value(); }));
    EXPECT_EQ(failure(*backend, solidPicture(QStringLiteral("hidden.png"), Qt::darkRed)),
              QStringLiteral("无法设置 X11 桌面的壁纸：屏幕 screen 被 Pcmanfm 的桌面窗口覆盖，"
                             "不支持在这个桌面中设置壁纸。"));
    EXPECT_EQ(x11.pixmapProperty("_XROOTPMAP_ID"), before);
    pcmanfm.kill();
    pcmanfm.waitForFinished();
}

TEST_F(DesktopX11RootTest, PlainX11SessionPaintsEveryScreenThroughTheSetter) {
    ASSERT_TRUE(x11.ok());
    // This program's environment announces no desktop, only an X11 session.
    WallpaperSetter::set(solidPicture(QStringLiteral("setter.png"), Qt::darkBlue));
    const QSize root = x11.rootSize();
    EXPECT_TRUE(near(x11.colourAt(x11.root(), 0, 0), Qt::darkBlue));
    EXPECT_TRUE(near(x11.colourAt(x11.root(), root.width() - 1, root.height() - 1), Qt::darkBlue));
}

} // namespace
} // namespace lumivra
