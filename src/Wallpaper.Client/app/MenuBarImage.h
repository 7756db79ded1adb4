#pragma once

#include <QIcon>
#include <QImage>
#include <QSize>

namespace lumivra {

inline constexpr QSize menuBarImageSize{18, 18};

// The status item's picture: the application icon from the first place that has a loadable one, in its
// own colours, else the drawn glyph. Qt scales it down to whatever size the tray asks for.
QIcon makeMenuBarImage();

// The icon compiled into the program as the resource ":/AppIcon.png". Null when it does not load.
QImage loadNamedAppIcon();

// The icon installed with the program: <prefix>/share/lumivra/AppIcon.png beside bin/ on Linux, the
// bundle's Contents/Resources/AppIcon.png on macOS. Null when missing or not loadable.
QImage loadBundledAppIcon();

// The icon of a source checkout, for a program started from the checkout or a build folder inside it:
// the first loadable of three paths relative to the current working directory. Null when none loads.
QImage loadSourceTreeAppIcon();

// A bold "L" on a transparent 18x18 image, marked as a mask so a menu bar can tint it to its appearance.
QIcon drawMenuBarGlyph();

} // namespace lumivra
