#pragma once

#include <QRect>
#include <QString>
#include <optional>

namespace lumivra {

// The class (WM_CLASS) of a shown desktop window (_NET_WM_WINDOW_TYPE_DESKTOP, as file managers and
// desktop shells draw one) that covers the whole area on the X server named by $DISPLAY; none when there is
// no such window or no X server to ask.
std::optional<QString> desktopWindowCovering(const QRect &area);

} // namespace lumivra
