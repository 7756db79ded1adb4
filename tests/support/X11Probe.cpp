#include "X11Probe.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace lumivra::test {

namespace {

struct FreeReply {
    void operator()(void *reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

} // namespace

X11Probe::X11Probe() : m_connection(xcb_connect(nullptr, nullptr)) {
    if (ok())
        m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
}

X11Probe::~X11Probe() {
    xcb_disconnect(m_connection);
}

bool X11Probe::ok() const {
    return !xcb_connection_has_error(m_connection);
}

QSize X11Probe::rootSize() const {
    return {m_screen->width_in_pixels, m_screen->height_in_pixels};
}

xcb_window_t X11Probe::root() const {
    return m_screen->root;
}

xcb_pixmap_t X11Probe::pixmapProperty(const char *name) const {
    const Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 1, static_cast<uint16_t>(strlen(name)), name), nullptr));
    if (!atom || atom->atom == XCB_NONE)
        return XCB_NONE;
    const Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, root(), atom->atom, XCB_ATOM_ANY, 0, 1), nullptr));
    if (!property || property->type != XCB_ATOM_PIXMAP || property->format != 32 ||
        xcb_get_property_value_length(property.get()) != 4)
        return XCB_NONE;
    return *static_cast<const xcb_pixmap_t *>(xcb_get_property_value(property.get()));
}

bool X11Probe::exists(xcb_pixmap_t pixmap) const {
    const Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, pixmap), nullptr));
    return geometry != nullptr;
}

std::optional<QColor> X11Probe::colourAt(xcb_drawable_t drawable, int x, int y) const {
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

} // namespace lumivra::test
