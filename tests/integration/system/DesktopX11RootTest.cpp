#include "TempHome.h"
#include "client/Errors.h"
#include "system/DesktopBackends.h"
#include "system/WallpaperSetter.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <xcb/xcb.h>

namespace lumivra {
namespace {

struct FreeReply {
    void operator()(void *reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

// The test's own view of the Xvfb server this program runs on.
class X11 {
public:
    X11() : m_connection(xcb_connect(nullptr, nullptr)) {
        if (ok())
            m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    }
    ~X11() { xcb_disconnect(m_connection); }
    X11(const X11 &) = delete;
    X11 &operator=(const X11 &) = delete;

    bool ok() const { return !xcb_connection_has_error(m_connection); }
    QSize rootSize() const { return {m_screen->width_in_pixels, m_screen->height_in_pixels}; }
    xcb_window_t root() const { return m_screen->root; }

    xcb_pixmap_t pixmapProperty(const char *name) const {
        const Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 1, static_cast<uint16_t>(strlen(name)), name),
            nullptr));
        if (!atom || atom->atom == XCB_NONE)
            return XCB_NONE;
        const Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, root(), atom->atom, XCB_ATOM_ANY, 0, 1),
            nullptr));
        if (!property || property->type != XCB_ATOM_PIXMAP || property->format != 32 ||
            xcb_get_property_value_length(property.get()) != 4)
            return XCB_NONE;
        return *static_cast<const xcb_pixmap_t *>(xcb_get_property_value(property.get()));
    }

    bool exists(xcb_pixmap_t pixmap) const {
        const Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, pixmap), nullptr));
        return geometry != nullptr;
    }

    // The colour at one point of a drawable of the 24-bit Xvfb screen.
    std::optional<QColor> colourAt(xcb_drawable_t drawable, int x, int y) const {
        const Reply<xcb_get_image_reply_t> image(
            xcb_get_image_reply(m_connection,
                                xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable,
                                              static_cast<int16_t>(x), static_cast<int16_t>(y), 1, 1, ~0u),
                                nullptr));
        if (!image || xcb_get_image_data_length(image.get()) < 4)
            return std::nullopt;
        const uint8_t *data = xcb_get_image_data(image.get());
        return QColor(data[2], data[1], data[0]);
    }

private:
    xcb_connection_t *m_connection;
    xcb_screen_t *m_screen = nullptr;
};

// Solid colours compare exactly away from band edges, where smooth scaling mixes neighbours.
::testing::AssertionResult near(const std::optional<QColor> &actual, QColor expected) {
    if (!actual)
        return ::testing::AssertionFailure() << "no pixel could be read";
    const int distance = std::abs(actual->red() - expected.red()) +
                         std::abs(actual->green() - expected.green()) +
                         std::abs(actual->blue() - expected.blue());
    if (distance <= 6)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pixel " << qPrintable(actual->name()) << " instead of " << qPrintable(expected.name());
}

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

    test::TempHome home;
    X11 x11;
};

TEST_F(DesktopX11RootTest, PictureFillsTheScreenAndIsPublished) {
    ASSERT_TRUE(x11.ok());
    const QSize root = x11.rootSize();
    makeX11RootBackend()->setPicture(bandedPicture(),
                                     {QStringLiteral("screen"), QRect(QPoint(0, 0), root), 0});

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
    const ScreenInfo screen{QStringLiteral("screen"), QRect(QPoint(0, 0), x11.rootSize()), 0};
    const auto backend = makeX11RootBackend();
    backend->setPicture(solidPicture(QStringLiteral("first.png"), Qt::cyan), screen);
    const xcb_pixmap_t first = x11.pixmapProperty("ESETROOT_PMAP_ID");
    ASSERT_TRUE(x11.exists(first)) << "the pixmap must outlive the setter's connection";

    backend->setPicture(solidPicture(QStringLiteral("second.png"), Qt::darkGreen), screen);
    const xcb_pixmap_t second = x11.pixmapProperty("ESETROOT_PMAP_ID");
    EXPECT_NE(second, first);
    EXPECT_EQ(x11.pixmapProperty("_XROOTPMAP_ID"), second);
    EXPECT_TRUE(x11.exists(second));
    EXPECT_FALSE(x11.exists(first));
    EXPECT_TRUE(near(x11.colourAt(x11.root(), 5, 5), Qt::darkGreen));
}

TEST_F(DesktopX11RootTest, UnreadableImageIsRefusedAndNothingChanges) {
    ASSERT_TRUE(x11.ok());
    const ScreenInfo screen{QStringLiteral("screen"), QRect(QPoint(0, 0), x11.rootSize()), 0};
    const auto backend = makeX11RootBackend();
    backend->setPicture(solidPicture(QStringLiteral("before.png"), Qt::gray), screen);
    const xcb_pixmap_t before = x11.pixmapProperty("_XROOTPMAP_ID");

    const QString broken = home.path() + QStringLiteral("/broken.jpg");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    try {
        backend->setPicture(broken, screen);
        FAIL() << "an unreadable image must be refused";
    } catch (const DesktopError &error) {
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("无法读取壁纸图片“%1”。").arg(broken));
    }
    EXPECT_EQ(x11.pixmapProperty("_XROOTPMAP_ID"), before);
    EXPECT_TRUE(near(x11.colourAt(x11.root(), 5, 5), Qt::gray));
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
