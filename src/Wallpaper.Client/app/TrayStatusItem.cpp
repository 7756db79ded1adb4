#include "app/TrayStatusItem.h"

#include <QCursor>
#include <QGuiApplication>

namespace lumivra {

std::unique_ptr<StatusItem> makeTrayStatusItem() {
    return std::make_unique<TrayStatusItem>();
}

TrayStatusItem::TrayStatusItem() {
    connect(&m_icon, &QSystemTrayIcon::activated, this, &TrayStatusItem::openMenuOnClick);
}

TrayStatusItem::~TrayStatusItem() {
    // The icon must not point at a menu that is already gone while it takes itself off the tray.
    m_icon.setContextMenu(nullptr);
}

void TrayStatusItem::setImage(const QIcon &image) {
    m_icon.setIcon(image);
    // Shown even while there is no tray, so Qt docks it the moment one appears.
    m_icon.show();
}

void TrayStatusItem::setToolTip(const QString &text) {
    m_icon.setToolTip(text);
}

void TrayStatusItem::setMenu(std::unique_ptr<QMenu> menu) {
    m_icon.setContextMenu(menu.get());
    if (m_menu)
        m_menu.release()->deleteLater();
    m_menu = std::move(menu);
}

void TrayStatusItem::openMenuOnClick(QSystemTrayIcon::ActivationReason reason) {
    // A menu-bar item opens its menu on a plain click. X11 and StatusNotifier trays only open the context
    // menu on a right click, so a left click opens it here; macOS already does so by itself.
    if (reason != QSystemTrayIcon::Trigger || !m_menu || m_menu->isVisible() ||
        QGuiApplication::platformName() == QLatin1String("cocoa"))
        return;
    m_menu->popup(QCursor::pos());
}

} // namespace lumivra
