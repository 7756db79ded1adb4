#include "app/AppDelegate.h"
#include "app/ClientKind.h"
#include "client/Errors.h"
#include "system/LaunchAtLoginService.h"

#include <QKeySequence>
#include <QMenu>

namespace lumivra {

void AppDelegate::rebuildMenu() {
    if (!m_statusItem)
        return;
    if (!m_launchAtLoginItem)
        m_statusItem->setMenu(makeMenu());
    // The file is the only record of the setting: the mark shows it as it is now.
    m_launchAtLoginItem->setChecked(LaunchAtLoginService::isEnabled());
}

std::unique_ptr<QMenu> AppDelegate::makeMenu() {
    auto menu = std::make_unique<QMenu>();

    QAction *refresh =
        menu->addAction(QStringLiteral("刷新壁纸"), this, &AppDelegate::refreshMenuItemClicked);
    refresh->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    menu->addSeparator();

    m_launchAtLoginItem = menu->addAction(QStringLiteral("开机自动启动"));
    m_launchAtLoginItem->setCheckable(true);
    connect(m_launchAtLoginItem, &QAction::triggered, this, [this](bool checked) {
        // Qt flips a checkable item before it reports the click; until a successful switch brings the menu
        // up to date, the mark keeps showing the file as it was.
        m_launchAtLoginItem->setChecked(!checked);
        toggleLaunchAtLogin();
    });

    menu->addAction(QStringLiteral("关于"), this, &AppDelegate::showAbout);
    menu->addSeparator();
    QAction *quitItem = menu->addAction(QStringLiteral("退出"), this, &AppDelegate::quit);
    quitItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    for (QAction *action : menu->actions())
        action->setShortcutVisibleInContextMenu(true);
    return menu;
}

void AppDelegate::refreshMenuItemClicked() {
    refreshWallpaper(true);
}

void AppDelegate::toggleLaunchAtLogin() {
    // Acts on the file as it is now, whatever the mark in the menu says.
    setLaunchAtLogin(!LaunchAtLoginService::isEnabled());
}

bool AppDelegate::setLaunchAtLogin(bool enabled) {
    try {
        LaunchAtLoginService::setEnabled(enabled);
    } catch (const Error &error) {
        m_seams.showAlert(QStringLiteral("开机启动设置失败"), error.localizedDescription());
        return false;
    }
    rebuildMenu();
    return true;
}

void AppDelegate::showAbout() {
    m_seams.showAlert(
        QStringLiteral("Lumivra"),
        clientKind() + QStringLiteral("\n\n每小时从壁纸服务取回当天的壁纸，并把它设为每块屏幕的桌面图片。"));
}

} // namespace lumivra
