#pragma once

#include <QColor>
#include <QSize>
#include <gtest/gtest.h>
#include <optional>
#include <xcb/xcb.h>

namespace lumivra::test {

// The test's own view of the X server named by $DISPLAY: what the screen shows, and the root's pixmaps.
class X11Probe {
public:
    X11Probe();
    ~X11Probe();
    X11Probe(const X11Probe &) = delete;
    X11Probe &operator=(const X11Probe &) = delete;

    bool ok() const;
    QSize rootSize() const;
    xcb_window_t root() const;
    xcb_pixmap_t pixmapProperty(const char *name) const;
    bool exists(xcb_pixmap_t pixmap) const;
    // The colour at one point of a drawable of a 24-bit screen; the root gives what the screen shows.
    std::optional<QColor> colourAt(xcb_drawable_t drawable, int x, int y) const;
    std::optional<QColor> shownAt(int x, int y) const { return colourAt(root(), x, y); }

private:
    xcb_connection_t *m_connection;
    xcb_screen_t *m_screen = nullptr;
};

// Solid colours compare exactly away from band edges, where smooth scaling mixes neighbours.
::testing::AssertionResult near(const std::optional<QColor> &actual, QColor expected);

} // namespace lumivra::test
