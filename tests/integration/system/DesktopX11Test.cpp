#include "TempHome.h"
#include "Wait.h"
#include "client/Errors.h"
#include "system/DesktopBackends.h"
#include "system/WallpaperSetter.h"
#include "system/X11DesktopWindow_linux.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <cstdlib>
#include <gmock/gmock.h>
#include <xcb/xcb.h>

namespace lumivra {
namespace {

using testing::StrEq;
using testing::ThrowsMessage;

template <typename T> std::unique_ptr<T, void (*)(void *)> owned(T *reply) {
    return {reply, std::free};
}

// A plain X11 session on the test's 1280x800 Xvfb: this program's environment announces no desktop, so the
// setter paints the root window unless a test names another desktop.
class DesktopX11Test : public ::testing::Test {
protected:
    QString save(const QImage &image, const QString &name) const {
        const QString file = home.path() + QLatin1Char('/') + name;
        image.save(file, "PNG");
        return file;
    }

    QString picture(const QString &name, QColor colour) const {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(colour);
        return save(image, name);
    }

    // The colour at one point of a drawable; the root gives what the screen shows.
    QRgb colourAt(xcb_drawable_t drawable, int16_t x, int16_t y) const {
        const auto image = owned(xcb_get_image_reply(
            x11, xcb_get_image(x11, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, x, y, 1, 1, ~0u), nullptr));
        const uint8_t *pixel = image ? xcb_get_image_data(image.get()) : nullptr;
        return pixel ? qRgb(pixel[2], pixel[1], pixel[0]) : 0;
    }

    // The pixmap a property of the root window names, as published for other programs.
    xcb_pixmap_t rootPixmap(const char *name) const {
        const auto atom = owned(xcb_intern_atom_reply(
            x11, xcb_intern_atom(x11, 0, static_cast<uint16_t>(strlen(name)), name), nullptr));
        const auto property = owned(xcb_get_property_reply(
            x11, xcb_get_property(x11, 0, root, atom->atom, XCB_ATOM_PIXMAP, 0, 1), nullptr));
        return xcb_get_property_value_length(property.get()) == 4
                   ? *static_cast<xcb_pixmap_t *>(xcb_get_property_value(property.get()))
                   : XCB_NONE;
    }

    bool exists(xcb_pixmap_t pixmap) const {
        return owned(xcb_get_geometry_reply(x11, xcb_get_geometry(x11, pixmap), nullptr)) != nullptr;
    }

    test::TempHome home;
    xcb_connection_t *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x11)).data->root;
};

TEST_F(DesktopX11Test, RootWindowShowsEachScreensPictureAndFreesTheOneItReplaces) {
    // A square picture in three bands: red top quarter, green half, blue bottom quarter.
    QImage banded(100, 100, QImage::Format_RGB32);
    QPainter painter(&banded);
    painter.fillRect(0, 0, 100, 25, Qt::red);
    painter.fillRect(0, 25, 100, 50, Qt::green);
    painter.fillRect(0, 75, 100, 25, Qt::blue);
    painter.end();
    WallpaperSetter::set(save(banded, QStringLiteral("banded.png")));

    const xcb_pixmap_t first = rootPixmap("_XROOTPMAP_ID");
    ASSERT_NE(first, static_cast<xcb_pixmap_t>(XCB_NONE));
    EXPECT_EQ(rootPixmap("ESETROOT_PMAP_ID"), first);
    // Scaled to 1280x1280 with 240 rows cut at top and bottom: 80 rows of red and of blue stay, and the
    // picture reaches both side edges. The pixmap outlives the setter's connection.
    for (const xcb_drawable_t drawable : {first, root}) {
        EXPECT_EQ(colourAt(drawable, 0, 40), QColor(Qt::red).rgb());
        EXPECT_EQ(colourAt(drawable, 1279, 40), QColor(Qt::red).rgb());
        EXPECT_EQ(colourAt(drawable, 0, 90), QColor(Qt::green).rgb());
        EXPECT_EQ(colourAt(drawable, 640, 400), QColor(Qt::green).rgb());
        EXPECT_EQ(colourAt(drawable, 1279, 760), QColor(Qt::blue).rgb());
    }

    const auto backend = makeX11RootBackend();
    backend->setPicture(picture(QStringLiteral("left.png"), Qt::yellow),
                        {QStringLiteral("left"), {0, 0, 640, 800}, 0});
    EXPECT_FALSE(exists(first));
    backend->setPicture(picture(QStringLiteral("right.png"), Qt::magenta),
                        {QStringLiteral("right"), {640, 0, 640, 800}, 1});
    for (const xcb_drawable_t drawable : {rootPixmap("ESETROOT_PMAP_ID"), root}) {
        EXPECT_EQ(colourAt(drawable, 0, 0), QColor(Qt::yellow).rgb());
        EXPECT_EQ(colourAt(drawable, 639, 799), QColor(Qt::yellow).rgb());
        EXPECT_EQ(colourAt(drawable, 640, 0), QColor(Qt::magenta).rgb());
        EXPECT_EQ(colourAt(drawable, 1279, 799), QColor(Qt::magenta).rgb());
    }

    const QString missing = home.path() + QStringLiteral("/missing.png");
    EXPECT_THAT(
        [&] {
            backend->setPicture(missing, {QStringLiteral("left"), {0, 0, 640, 800}, 0});
        },
        ThrowsMessage<DesktopError>(
            StrEq(QStringLiteral("无法读取壁纸图片“%1”。").arg(missing).toStdString())));
}

TEST_F(DesktopX11Test, PcmanfmsDesktopShowsThePictureInLxdeAndIsNotPaintedOverElsewhere) {
    const QString file = picture(QStringLiteral("it's a \"picture\" = 壁纸.png"), QColor(16, 128, 192));
    qputenv("XDG_CURRENT_DESKTOP", "LXDE");
    EXPECT_THAT(
        [&] { WallpaperSetter::set(file); },
        ThrowsMessage<DesktopError>(StrEq("LXDE 桌面（pcmanfm）没有显示屏幕 screen 的桌面，壁纸没有设置。")));

    // Started as LXDE's session starts it, with the session's own settings profile.
    QProcess pcmanfm;
    pcmanfm.start(QStringLiteral("pcmanfm"), {QStringLiteral("--desktop"), QStringLiteral("--profile=LXDE")});
    ASSERT_TRUE(test::waitUntil([&] { return desktopWindowCovering({0, 0, 1280, 800}).has_value(); }));
    WallpaperSetter::set(file);
    EXPECT_TRUE(test::waitUntil([&] {
        const QRgb shown = colourAt(root, 640, 400);
        return std::abs(qRed(shown) - 16) + std::abs(qGreen(shown) - 128) + std::abs(qBlue(shown) - 192) <= 6;
    })) << QColor(colourAt(root, 640, 400)).name().toStdString();
    QFile saved(home.configHome() + QStringLiteral("/pcmanfm/LXDE/desktop-items-0.conf"));
    EXPECT_TRUE(test::waitUntil([&] {
        saved.close();
        return saved.open(QIODevice::ReadOnly) &&
               saved.readAll().split('\n').contains("wallpaper=" + file.toUtf8());
    }));

    // Outside LXDE a desktop window of a program this client does not know hides the root window.
    qputenv("XDG_CURRENT_DESKTOP", "");
    EXPECT_THAT(
        [&] { WallpaperSetter::set(file); },
        ThrowsMessage<DesktopError>(StrEq("无法设置 X11 桌面的壁纸：屏幕 screen 被 Pcmanfm 的桌面窗口覆盖，"
                                          "不支持在这个桌面中设置壁纸。")));
    pcmanfm.kill();
    pcmanfm.waitForFinished();
}

} // namespace
} // namespace lumivra
