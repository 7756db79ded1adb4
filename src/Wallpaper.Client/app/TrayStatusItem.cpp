#include "app/TrayStatusItem.h"

#include "app/TrayHost.h"

#include <QCursor>
#include <QGuiApplication>

namespace lumivra {

std::unique_ptr<StatusItem> makeTrayStatusItem() {
    return std::make_unique<TrayStatusItem>();
}

TrayStatusItem::TrayStatusItem() {
    m_hostWatch = whenTrayHostReady([this] { makeIcon(); });
}

TrayStatusItem::~TrayStatusItem() {
    // Off the tray first: a tray host may still be talking to the menu.
    if (m_icon)
        m_icon->hide();
}

void TrayStatusItem::makeIcon() {
    m_icon = std::make_unique<QSystemTrayIcon>();
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, &TrayStatusItem::openMenuOnClick);
    m_icon->setToolTip(m_toolTip);
    if (m_menu)
        m_icon->setContextMenu(m_menu.get());
    if (!m_image.isNull())
        setImage(m_image);
}

void TrayStatusItem::setImage(const QIcon &image) {
    m_image = image;
    if (!m_icon)
        return;
    m_icon->setIcon(image);
    // Shown even while there is no tray, so Qt docks it the moment one appears.
    m_icon->show();
}

void TrayStatusItem::setToolTip(const QString &text) {
    m_toolTip = text;
    if (m_icon)
        m_icon->setToolTip(text);
}

void TrayStatusItem::setMenu(std::unique_ptr<QMenu> menu) {
    Q_ASSERT(!m_menu);
    m_menu = std::move(menu);
    if (m_icon)
        m_icon->setContextMenu(m_menu.get());
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
