#include "AppTestFakes.h"
#include "TempHome.h"
#include "Wait.h"
#include "app/AppDelegate.h"
#include "system/LaunchAtLoginService.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QSysInfo>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;

namespace {

class AppMenuTest : public ::testing::Test {
protected:
    // No server is needed: the launch refresh fails at once on an address that does not parse.
    void SetUp() override { storeServerAddress(QStringLiteral("http://[::1")); }

    void launch() {
        delegate = std::make_unique<AppDelegate>(recordingSeams(shell));
        delegate->applicationDidFinishLaunching();
        ASSERT_TRUE(waitUntil([this] { return !delegate->refreshing(); }));
    }
    QAction *item(const QString &title) const {
        for (QAction *action : shell.menu->actions())
            if (action->text() == title)
                return action;
        ADD_FAILURE() << "no menu item " << title.toStdString();
        return nullptr;
    }
    QAction *launchAtLoginItem() const { return item(QStringLiteral("开机自动启动")); }
    bool entryExists() const { return QFileInfo::exists(LaunchAtLoginService::launchAgentURL()); }

    TempHome home;
    ShellRecord shell;
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppMenuTest, freshDelegateHasNothingYetAndHasTouchedNothing) {
    bool statusItemMade = false;
    AppDelegateSeams seams = recordingSeams(shell);
    seams.makeStatusItem = [&statusItemMade] {
        statusItemMade = true;
        return std::unique_ptr<StatusItem>();
    };
    seams.serverBaseURL = [] {
        ADD_FAILURE() << "no refresh before launch";
        return QString();
    };
    const AppDelegate fresh(std::move(seams));
    EXPECT_FALSE(fresh.refreshing());
    EXPECT_EQ(fresh.hourlyTimer(), nullptr);
    EXPECT_FALSE(statusItemMade);
}

TEST_F(AppMenuTest, statusItemShowsTheIconTheIdleToolTipAndSixRows) {
    launch();
    EXPECT_FALSE(shell.image.isNull());
    EXPECT_EQ(shell.toolTips.value(0), QStringLiteral("Lumivra · 待命"));
    ASSERT_TRUE(shell.menu);

    const QList<QAction *> rows = shell.menu->actions();
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[0]->text(), QStringLiteral("刷新壁纸"));
    EXPECT_EQ(rows[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_TRUE(rows[1]->isSeparator());
    EXPECT_EQ(rows[2]->text(), QStringLiteral("开机自动启动"));
    EXPECT_TRUE(rows[2]->isCheckable());
    EXPECT_FALSE(rows[2]->isChecked());
    EXPECT_TRUE(rows[2]->shortcut().isEmpty());
    EXPECT_EQ(rows[3]->text(), QStringLiteral("关于"));
    EXPECT_TRUE(rows[3]->shortcut().isEmpty());
    EXPECT_TRUE(rows[4]->isSeparator());
    EXPECT_EQ(rows[5]->text(), QStringLiteral("退出"));
    EXPECT_EQ(rows[5]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    for (QAction *row : rows) {
        EXPECT_TRUE(row->isEnabled());
        EXPECT_TRUE(row->isShortcutVisibleInContextMenu());
    }
}

TEST_F(AppMenuTest, checkMarkFollowsTheLoginEntry) {
    LaunchAtLoginService::setEnabled(true);
    launch();
    EXPECT_TRUE(launchAtLoginItem()->isChecked());

    launchAtLoginItem()->trigger();
    EXPECT_FALSE(entryExists());
    EXPECT_FALSE(launchAtLoginItem()->isChecked());

    launchAtLoginItem()->trigger();
    EXPECT_TRUE(entryExists());
    EXPECT_TRUE(launchAtLoginItem()->isChecked());
    EXPECT_TRUE(shell.alerts.isEmpty());
}

TEST_F(AppMenuTest, entryRemovedBehindTheMenusBackIsEnabledAgainByTheClick) {
    LaunchAtLoginService::setEnabled(true);
    launch();
    ASSERT_TRUE(QFile::remove(LaunchAtLoginService::launchAgentURL()));
    EXPECT_TRUE(launchAtLoginItem()->isChecked()) << "the menu is only rebuilt after a switch";

    launchAtLoginItem()->trigger();
    EXPECT_TRUE(entryExists()) << "the click acts on the file, not on the mark";
    EXPECT_TRUE(launchAtLoginItem()->isChecked());
}

TEST_F(AppMenuTest, failingSwitchShowsItsAlertAndLeavesTheMenuAsItWas) {
    launch();
    // A file where the autostart folder should be: no entry can be written below it.
    QFile blocker(QFileInfo(LaunchAtLoginService::launchAgentURL()).path());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QPointer<QMenu> menuBefore = shell.menu;

    launchAtLoginItem()->trigger();
    ASSERT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(shell.alerts[0].messageText, QStringLiteral("开机启动设置失败"));
    EXPECT_FALSE(shell.alerts[0].informativeText.isEmpty());
    EXPECT_EQ(shell.menu, menuBefore);
    EXPECT_FALSE(launchAtLoginItem()->isChecked());
}

TEST_F(AppMenuTest, aboutBoxNamesTheProductAndWhatItDoes) {
    launch();
    item(QStringLiteral("关于"))->trigger();
    ASSERT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(shell.alerts[0].messageText, QStringLiteral("Lumivra"));
    const QStringList paragraphs = shell.alerts[0].informativeText.split(QStringLiteral("\n\n"));
    ASSERT_EQ(paragraphs.size(), 2);
    EXPECT_EQ(paragraphs[0], QSysInfo::productType() == QLatin1String("macos")
                                 ? QStringLiteral("macOS 客户端")
                                 : QStringLiteral("Linux 客户端"));
    EXPECT_TRUE(paragraphs[1].endsWith(QStringLiteral("。")));
    EXPECT_FALSE(paragraphs[1].contains(u'\n'));
}

TEST_F(AppMenuTest, refreshItemRunsACycleWithAlertsAndLeavesTheMenuAlone) {
    launch();
    const QPointer<QMenu> menuBefore = shell.menu;
    ASSERT_TRUE(shell.alerts.isEmpty()) << "the launch refresh fails silently";

    item(QStringLiteral("刷新壁纸"))->trigger();
    EXPECT_TRUE(delegate->refreshing());
    item(QStringLiteral("刷新壁纸"))->trigger(); // dropped
    ASSERT_TRUE(waitUntil([this] { return !delegate->refreshing(); }));
    ASSERT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(shell.alerts[0].messageText, QStringLiteral("刷新壁纸失败"));
    EXPECT_EQ(shell.alerts[0].informativeText, QStringLiteral("服务器地址无效。"));
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 刷新失败"));
    EXPECT_EQ(shell.menu, menuBefore);
}

} // namespace
