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
    // Takes the menu over, once: it stays the item's menu for the item's whole life and is brought up to
    // date in place. A StatusNotifier panel keeps talking to the menu object it was shown, with calls that
    // may still be on their way when the program acts on a click, so that object must never change.
    virtual void setMenu(std::unique_ptr<QMenu> menu) = 0;
};

// The status item in the desktop's system tray (the menu bar on macOS).
std::unique_ptr<StatusItem> makeTrayStatusItem();

} // namespace lumivra
