#pragma once

#include "app/StatusItem.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

namespace lumivra {

// A QSystemTrayIcon, shown once it has its image. When no tray exists yet (a panel started after the program,
// as happens at login), Qt docks the icon as soon as one appears; until then the program keeps working
// without a visible icon.
class TrayStatusItem : public QObject, public StatusItem {
    Q_OBJECT
public:
    TrayStatusItem();
    ~TrayStatusItem() override;

    void setImage(const QIcon &image) override;
    void setToolTip(const QString &text) override;
    void setMenu(std::unique_ptr<QMenu> menu) override;

    const QSystemTrayIcon &trayIcon() const { return m_icon; }

private:
    void openMenuOnClick(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon m_icon;
    std::unique_ptr<QMenu> m_menu;
};

} // namespace lumivra
