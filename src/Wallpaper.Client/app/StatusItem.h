#pragma once

#include <QIcon>
#include <QString>
#include <memory>

class QMenu;

namespace lumivra {

// The program's one permanent surface on the desktop: an icon with a tool tip and a menu.
class StatusItem {
public:
    virtual ~StatusItem() = default;

    virtual void setImage(const QIcon &image) = 0;
    virtual void setToolTip(const QString &text) = 0;
    // Takes the menu over. The previous menu may be the one whose command is running right now, so it is
    // released only once control is back in the event loop.
    virtual void setMenu(std::unique_ptr<QMenu> menu) = 0;
};

// The status item in the desktop's system tray (the menu bar on macOS).
std::unique_ptr<StatusItem> makeTrayStatusItem();

} // namespace lumivra
