#pragma once

#include "app/StatusItem.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

namespace lumivra {

// A QSystemTrayIcon, shown once it has its image and the desktop can show it. When no tray exists yet (a
// panel started after the program, as happens at login), the icon appears as soon as one does; until then
// the program keeps working without a visible icon.
class TrayStatusItem : public QObject, public StatusItem {
    Q_OBJECT
public:
    TrayStatusItem();
    ~TrayStatusItem() override;

    void setImage(const QIcon &image) override;
    void setToolTip(const QString &text) override;
    void setMenu(std::unique_ptr<QMenu> menu) override;

private:
    void makeIcon();
    void openMenuOnClick(QSystemTrayIcon::ActivationReason reason);

    QIcon m_image;
    QString m_toolTip;
    // Declared before the icon, so the icon is gone before its menu is.
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::unique_ptr<QObject> m_hostWatch;
};

} // namespace lumivra
