#include "system/DesktopBackends.h"
#include "system/X11DesktopWindow_linux.h"
#include "system/XcbHandles_linux.h"

#include <QImage>
#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

namespace lumivra {

namespace {

constexpr size_t stripBytes = size_t{4} << 20;

[[noreturn]] void fail(const QString &reason) {
    throw DesktopError(QStringLiteral("无法设置 X11 桌面的壁纸：%1").arg(reason));
}

// How one pixel is laid out in the root window's pixmaps.
struct PixelFormat {
    uint8_t depth = 0;
    uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    bool bigEndian = false;

    uint32_t encode(QRgb rgb) const {
        uint32_t pixel =
            scaled(qRed(rgb), redMask) | scaled(qGreen(rgb), greenMask) | scaled(qBlue(rgb), blueMask);
        // Bits outside the colour masks of a 32-bit visual are alpha for compositors: opaque.
        if (depth == 32)
            pixel |= ~(redMask | greenMask | blueMask);
        return pixel;
    }

private:
    static uint32_t scaled(int channel, uint32_t mask) {
        if (!mask)
            return 0;
        const int shift = std::countr_zero(mask);
        const uint32_t maximum = mask >> shift;
        return ((static_cast<uint32_t>(channel) * maximum + 127) / 255) << shift & mask;
    }
};

PixelFormat pixelFormat(xcb_connection_t *connection, const xcb_screen_t &screen) {
    PixelFormat format;
    format.depth = screen.root_depth;
    std::optional<xcb_visualtype_t> visual;
    for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem && !visual;
         xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen.root_visual) {
                visual = *visuals.data;
                break;
            }
        }
    }
    if (!visual ||
        (visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR && visual->_class != XCB_VISUAL_CLASS_DIRECT_COLOR))
        fail(QStringLiteral("根窗口不是真彩色的。"));
    if (format.depth != 24 && format.depth != 32)
        fail(QStringLiteral("不支持 %1 位色深的根窗口。").arg(format.depth));

    const xcb_setup_t *setup = xcb_get_setup(connection);
    bool thirtyTwoBits = false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem; xcb_format_next(&formats)) {
        if (formats.data->depth == format.depth)
            thirtyTwoBits = formats.data->bits_per_pixel == 32;
    }
    if (!thirtyTwoBits)
        fail(QStringLiteral("不支持根窗口的像素格式。"));
    format.redMask = visual->red_mask;
    format.greenMask = visual->green_mask;
    format.blueMask = visual->blue_mask;
    format.bigEndian = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    return format;
}

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name) {
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(qstrlen(name)), name), nullptr));
    if (!reply)
        fail(QStringLiteral("X 服务器没有回应。"));
    return reply->atom;
}

// The pixmap a root window property names, or none.
xcb_pixmap_t pixmapProperty(xcb_connection_t *connection, xcb_window_t root, xcb_atom_t property) {
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, property, XCB_ATOM_PIXMAP, 0, 1), nullptr));
    if (!reply || reply->type != XCB_ATOM_PIXMAP || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) != 4)
        return XCB_NONE;
    return *static_cast<const xcb_pixmap_t *>(xcb_get_property_value(reply.get()));
}

// The image scaled to cover the whole target, centred, with what overhangs cut away.
QImage filled(const QImage &image, QSize target) {
    const QImage scaled = image.scaled(target, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    return scaled
        .copy((scaled.width() - target.width()) / 2, (scaled.height() - target.height()) / 2, target.width(),
              target.height())
        .convertToFormat(QImage::Format_RGB32);
}

void checkRequest(xcb_connection_t *connection, xcb_void_cookie_t cookie, const QString &what) {
    const Reply<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
    if (error)
        fail(QStringLiteral("X 服务器拒绝了请求（%1，错误码 %2）。").arg(what).arg(error->error_code));
}

// The pictures the root window's properties name: the one shown, and the one a setter left to be freed.
struct RootPictures {
    xcb_atom_t shownAtom = XCB_NONE, retainedAtom = XCB_NONE;
    xcb_pixmap_t shown = XCB_NONE, retained = XCB_NONE;
};

RootPictures rootPictures(xcb_connection_t *c, xcb_window_t root) {
    RootPictures pictures;
    pictures.shownAtom = internAtom(c, "_XROOTPMAP_ID");
    pictures.retainedAtom = internAtom(c, "ESETROOT_PMAP_ID");
    pictures.shown = pixmapProperty(c, root, pictures.shownAtom);
    pictures.retained = pixmapProperty(c, root, pictures.retainedAtom);
    return pictures;
}

const xcb_screen_t &screenNumbered(xcb_connection_t *c, int screenNumber) {
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(c)); screens.rem; xcb_screen_next(&screens)) {
        if (screenNumber-- == 0)
            return *screens.data;
    }
    fail(QStringLiteral("X 服务器没有这个屏幕。"));
}

class X11RootBackend : public DesktopBackend {
public:
    void setPicture(const QString &imageFile, const ScreenInfo &screenInfo) override {
        const QImage image(imageFile);
        if (image.isNull())
            throw DesktopError(QStringLiteral("无法读取壁纸图片“%1”。").arg(imageFile));

        int screenNumber = 0;
        const XcbConnection connection(xcb_connect(nullptr, &screenNumber));
        if (xcb_connection_has_error(connection.get()))
            fail(QStringLiteral("无法连接到 X 服务器。"));
        xcb_connection_t *c = connection.get();
        const xcb_screen_t &screen = screenNumbered(c, screenNumber);
        const PixelFormat format = pixelFormat(c, screen);
        const QRect rootRect(0, 0, screen.width_in_pixels, screen.height_in_pixels);
        const QRect target = screenInfo.geometry.intersected(rootRect);
        if (target.isEmpty())
            fail(QStringLiteral("屏幕 %1 不在根窗口之内。").arg(screenInfo.name));
        // A desktop drawn by a program this client does not know would hide the root window, and a picture
        // nobody sees is no success.
        if (const std::optional<QString> desktop = desktopWindowCovering(target))
            fail(QStringLiteral("屏幕 %1 被 %2 的桌面窗口覆盖，不支持在这个桌面中设置壁纸。")
                     .arg(screenInfo.name, *desktop));

        const RootPictures old = rootPictures(c, screen.root);
        const xcb_pixmap_t pixmap = paint(c, screen, format, old.shown, filled(image, target.size()), target);
        publish(c, screen.root, pixmap, old);
    }

private:
    // A new picture of the whole root window: the old one, with this screen's rectangle painted anew.
    static xcb_pixmap_t paint(xcb_connection_t *c, const xcb_screen_t &screen, const PixelFormat &format,
                              xcb_pixmap_t shown, const QImage &picture, QRect target) {
        const xcb_pixmap_t pixmap = xcb_generate_id(c);
        checkRequest(c,
                     xcb_create_pixmap_checked(c, format.depth, pixmap, screen.root, screen.width_in_pixels,
                                               screen.height_in_pixels),
                     QStringLiteral("CreatePixmap"));
        const xcb_gcontext_t gc = xcb_generate_id(c);
        const uint32_t black = screen.black_pixel;
        xcb_create_gc(c, gc, pixmap, XCB_GC_FOREGROUND, &black);
        const xcb_rectangle_t whole{0, 0, screen.width_in_pixels, screen.height_in_pixels};
        xcb_poly_fill_rectangle(c, pixmap, gc, 1, &whole);
        // The other screens keep the picture they show now.
        if (shown != XCB_NONE)
            copyOldPicture(c, shown, pixmap, gc, format.depth);
        putImage(c, pixmap, gc, format, picture, target.topLeft());
        xcb_free_gc(c, gc);
        return pixmap;
    }

    // Shows the pixmap as the root window's background and names it where other programs look for it.
    static void publish(xcb_connection_t *c, xcb_window_t root, xcb_pixmap_t pixmap,
                        const RootPictures &old) {
        checkRequest(c, xcb_change_window_attributes_checked(c, root, XCB_CW_BACK_PIXMAP, &pixmap),
                     QStringLiteral("ChangeWindowAttributes"));
        xcb_clear_area(c, 0, root, 0, 0, 0, 0);
        for (const xcb_atom_t atom : {old.shownAtom, old.retainedAtom}) {
            checkRequest(c,
                         xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, root, atom, XCB_ATOM_PIXMAP,
                                                     32, 1, &pixmap),
                         QStringLiteral("ChangeProperty"));
        }
        // As Esetroot does: the pixmap a setter left behind is freed once nobody shows it any more. Only
        // when both properties agree is it known to be such a retained pixmap rather than a live client's.
        if (old.retained != XCB_NONE && old.retained == old.shown)
            xcb_kill_client(c, old.retained);
        // The pixmap must outlive this connection, or the desktop turns black when it closes.
        checkRequest(c, xcb_set_close_down_mode_checked(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT),
                     QStringLiteral("SetCloseDownMode"));
    }

    static void copyOldPicture(xcb_connection_t *c, xcb_pixmap_t old, xcb_pixmap_t pixmap, xcb_gcontext_t gc,
                               uint8_t depth) {
        const Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, old), nullptr));
        if (!geometry || geometry->depth != depth)
            return;
        xcb_copy_area(c, old, pixmap, gc, 0, 0, 0, 0, geometry->width, geometry->height);
    }

    static void putImage(xcb_connection_t *c, xcb_pixmap_t pixmap, xcb_gcontext_t gc,
                         const PixelFormat &format, const QImage &picture, QPoint at) {
        const int width = picture.width();
        // The request header of PutImage takes 24 bytes; a request may not exceed the server's maximum, and
        // strips of a few megabytes keep the copy made here small.
        const size_t maximumBytes =
            std::min<size_t>(static_cast<size_t>(xcb_get_maximum_request_length(c)) * 4 - 24, stripBytes);
        const int rowsPerRequest =
            std::max(1, static_cast<int>(maximumBytes / (static_cast<size_t>(width) * 4)));
        std::vector<uint32_t> strip;
        for (int top = 0; top < picture.height(); top += rowsPerRequest) {
            const int rows = std::min(rowsPerRequest, picture.height() - top);
            strip.resize(static_cast<size_t>(width) * static_cast<size_t>(rows));
            for (int y = 0; y < rows; ++y) {
                const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(top + y));
                for (int x = 0; x < width; ++x) {
                    uint32_t pixel = format.encode(line[x]);
                    if (format.bigEndian != (std::endian::native == std::endian::big))
                        pixel = byteSwapped(pixel);
                    strip[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                        pixel;
                }
            }
            checkRequest(c,
                         xcb_put_image_checked(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc,
                                               static_cast<uint16_t>(width), static_cast<uint16_t>(rows),
                                               static_cast<int16_t>(at.x()),
                                               static_cast<int16_t>(at.y() + top), 0, format.depth,
                                               static_cast<uint32_t>(strip.size() * 4),
                                               reinterpret_cast<const uint8_t *>(strip.data())),
                         QStringLiteral("PutImage"));
        }
    }

    static uint32_t byteSwapped(uint32_t value) {
        return (value >> 24) | ((value >> 8) & 0xff00u) | ((value << 8) & 0xff0000u) | (value << 24);
    }
};

} // namespace

std::unique_ptr<DesktopBackend> makeX11RootBackend() {
    return std::make_unique<X11RootBackend>();
}

} // namespace lumivra
