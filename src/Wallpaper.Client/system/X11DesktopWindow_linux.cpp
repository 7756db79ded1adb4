#include "system/X11DesktopWindow_linux.h"

#include "system/XcbHandles_linux.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <cstring>

namespace lumivra {

namespace {

xcb_atom_t existingAtom(xcb_connection_t *c, const char *name) {
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

QList<xcb_window_t> children(xcb_connection_t *c, xcb_window_t window) {
    const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (!tree)
        return {};
    const xcb_window_t *first = xcb_query_tree_children(tree.get());
    return QList<xcb_window_t>(first, first + xcb_query_tree_children_length(tree.get()));
}

bool isDesktop(xcb_connection_t *c, xcb_window_t window, xcb_atom_t typeAtom, xcb_atom_t desktopAtom) {
    const Reply<xcb_get_property_reply_t> type(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, typeAtom, XCB_ATOM_ATOM, 0, 32), nullptr));
    if (!type || type->format != 32)
        return false;
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(type.get()));
    const int count = xcb_get_property_value_length(type.get()) / 4;
    return std::find(atoms, atoms + count, desktopAtom) != atoms + count;
}

bool isShownOver(xcb_connection_t *c, xcb_window_t window, xcb_window_t root, const QRect &area) {
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    const Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    const Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr));
    return attributes && geometry && origin && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
           QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height).contains(area);
}

// "instance\0class\0": the class names the program the way users know it.
QString windowClass(xcb_connection_t *c, xcb_window_t window) {
    const Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr));
    if (!property)
        return QStringLiteral("?");
    const QList<QByteArray> names =
        QByteArray(static_cast<const char *>(xcb_get_property_value(property.get())),
                   xcb_get_property_value_length(property.get()))
            .split('\0');
    for (qsizetype i = std::min<qsizetype>(names.size(), 2) - 1; i >= 0; --i) {
        if (!names[i].isEmpty())
            return QString::fromLocal8Bit(names[i]);
    }
    return QStringLiteral("?");
}

} // namespace

std::optional<QString> desktopWindowCovering(const QRect &area) {
    int screenNumber = 0;
    const XcbConnection connection(xcb_connect(nullptr, &screenNumber));
    xcb_connection_t *c = connection.get();
    if (xcb_connection_has_error(c))
        return std::nullopt;
    const xcb_screen_t *screen = nullptr;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(c)); screens.rem; xcb_screen_next(&screens)) {
        if (screenNumber-- == 0)
            screen = screens.data;
    }
    const xcb_atom_t typeAtom = existingAtom(c, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t desktopAtom = existingAtom(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
    if (!screen || typeAtom == XCB_NONE || desktopAtom == XCB_NONE)
        return std::nullopt;

    // A window manager that frames windows puts the desktop window one level down.
    for (const xcb_window_t topLevel : children(c, screen->root)) {
        QList<xcb_window_t> candidates = children(c, topLevel);
        candidates.append(topLevel);
        for (const xcb_window_t window : std::as_const(candidates)) {
            if (isDesktop(c, window, typeAtom, desktopAtom) && isShownOver(c, window, screen->root, area))
                return windowClass(c, window);
        }
    }
    return std::nullopt;
}

} // namespace lumivra
