#include "app/AppDelegate.h"

#include "Files.h"
#include "ScriptedHttpServer.h"
#include "TempHome.h"
#include "Wait.h"
#include "client/Errors.h"
#include "client/Sha256.h"
#include "client/WallpaperAPIClient.h"
#include "system/DesktopBackend.h"
#include "system/LaunchAtLoginService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

using Alert = QPair<QString, QString>; // message and informative text
const QString todayPath = u"/api/client/wallpaper/today"_s;
const QString imagePath = u"/files/7.png"_s;
const QString refreshing = u"Lumivra · 刷新中"_s;
// Does not parse: a cycle fails at once without touching the network.
const QString invalidAddress = u"http://[::1"_s;

// The application shell against the real client, the loopback server and real files in a temporary home.
class AppDelegateTest : public ::testing::Test {
protected:
    // Stands in for the tray, which needs a desktop panel.
    struct RecordingStatusItem : StatusItem {
        explicit RecordingStatusItem(AppDelegateTest &owner) : test(owner) {}
        void setImage(const QIcon &icon) override { EXPECT_FALSE(icon.isNull()); }
        void setToolTip(const QString &text) override { test.toolTips.append(text); }
        void setMenu(std::unique_ptr<QMenu> given) override {
            // A tray panel keeps talking to the menu it was shown: a second one would pull it from under it.
            EXPECT_FALSE(test.menu) << "the menu is handed over once and then updated in place";
            test.menu = std::move(given);
        }
        AppDelegateTest &test;
    };

    void serve(const QString &announced, const QByteArray &body, std::chrono::milliseconds delay = 0ms) {
        const QString json = uR"({"id":7,"effectiveDate":"2026-12-06","fileName":"Daily.PNG","contentType":)"
                             uR"("image/png","length":%1,"sha256":"%2","downloadUrl":"files/7.png"})"_s;
        auto metadata = ScriptedResponse::json(json.arg(image.size()).arg(announced).toUtf8());
        metadata.delay = delay;
        server.on(todayPath, metadata);
        server.on(imagePath, ScriptedResponse::bytes(body));
    }
    void launch(std::chrono::milliseconds interval = hourlyRefreshInterval) {
        AppDelegateSeams seams;
        seams.makeStatusItem = [this] { return std::make_unique<RecordingStatusItem>(*this); };
        seams.showAlert = [this](auto &title, auto &text) { alerts.append({title, text}); };
        seams.setDesktopPicture = [this](const QString &file) { setPicture(file); };
        seams.serverBaseURL = [this] { return address; };
        seams.refreshInterval = interval;
        seams.makeNetworkMonitor = [this] {
            return std::unique_ptr<NetworkMonitor>(network = new NetworkMonitor);
        };
        seams.networkRefreshSpacing = 1s;
        delegate = std::make_unique<AppDelegate>(std::move(seams));
        delegate->applicationDidFinishLaunching();
    }
    bool finishes() const {
        return waitUntil([this] { return !delegate->refreshing(); });
    }
    QAction *row(int index) const { return menu->actions().value(index); }
    // Named by id, the first 12 characters of the digest as announced and the extension in lower case.
    QString cacheFile(const QString &announced) const {
        return home.dataHome() + u"/LumivraWallpaper/wallpapers/7-"_s + announced.left(12) + u".png"_s;
    }

    TempHome home;
    ScriptedHttpServer server;
    QString address = server.url();
    const QByteArray image = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(70000, 'w');
    const QString digest = sha256Hex(image);
    QStringList toolTips;
    std::unique_ptr<QMenu> menu;
    QList<Alert> alerts;
    QStringList pictures;
    std::function<void(const QString &)> setPicture = [this](const QString &file) { pictures.append(file); };
    std::unique_ptr<AppDelegate> delegate;
    NetworkMonitor *network = nullptr;
};

// Offline: every cycle fails at once, and those of the launch and of each tick fail silently.
TEST_F(AppDelegateTest, menuRowsWhatTheyDoAndSilentTicks) {
    const QString entry = LaunchAtLoginService::launchAgentURL();
    LaunchAtLoginService::setEnabled(true);
    address = invalidAddress;
    launch(20ms);
    ASSERT_TRUE(finishes());
    EXPECT_EQ(toolTips.value(0), u"Lumivra · 待命"_s);
    QStringList rows;
    for (const QAction *action : menu->actions()) {
        EXPECT_TRUE(action->isEnabled() && action->isShortcutVisibleInContextMenu());
        rows.append(action->isSeparator() ? u"—"_s
                                          : action->text() + u' ' + action->shortcut().toString() +
                                                (action->isCheckable() ? u"☐"_s : QString()));
    }
    EXPECT_EQ(rows, (QStringList{u"刷新壁纸 Ctrl+R"_s, u"—"_s, u"开机自动启动 ☐"_s, u"关于 "_s, u"—"_s,
                                 u"退出 Ctrl+Q"_s}));

    // The mark shows the autostart file, and a click acts on the file as it is, whatever the mark says.
    EXPECT_TRUE(row(2)->isChecked());
    ASSERT_TRUE(QFile::remove(entry));
    row(2)->trigger();
    EXPECT_TRUE(QFileInfo::exists(entry) && row(2)->isChecked());
    row(2)->trigger();
    EXPECT_FALSE(QFileInfo::exists(entry) || row(2)->isChecked());

    // A file where the autostart folder belongs: the switch fails, says so and leaves the mark alone.
    ASSERT_TRUE(QDir().rmdir(QFileInfo(entry).path()) && writeFile(QFileInfo(entry).path(), {}));
    row(2)->trigger();
    EXPECT_FALSE(row(2)->isChecked());
    row(3)->trigger();
    ASSERT_TRUE(waitUntil([this] { return toolTips.count(refreshing) >= 3; }));
    ASSERT_EQ(alerts.size(), 2);
    EXPECT_EQ(alerts[0].first, u"开机启动设置失败"_s);
    EXPECT_FALSE(alerts[0].second.isEmpty());
    EXPECT_EQ(alerts[1],
              Alert(u"Lumivra"_s,
                    (QSysInfo::productType() == u"macos" ? u"macOS"_s : u"Linux"_s) +
                        u" 客户端\n\n每小时从壁纸服务取回当天的壁纸，并把它设为每块屏幕的桌面图片。"_s));
}

// The launch's refresh is silent; a menu refresh reuses the verified copy and tells its outcome in an alert,
// a failure too, in the tool tip as well.
TEST_F(AppDelegateTest, launchRefreshesSilentlyAndAMenuRefreshReusesTheVerifiedCopyAndReportsFailures) {
    serve(digest, image);
    ASSERT_TRUE(writeFile(cacheFile(digest), "older"));
    launch();
    // Accepted at once and run in a later turn of the loop; requests meanwhile are dropped without a trace.
    EXPECT_EQ(toolTips.value(1), refreshing);
    row(0)->trigger();
    ASSERT_TRUE(finishes());
    // The copy matches whatever the letter case of the announced digest.
    serve(digest.toUpper(), image);
    ASSERT_TRUE(QFile::copy(cacheFile(digest), cacheFile(digest.toUpper())));
    row(0)->trigger();
    ASSERT_TRUE(finishes());
    const QString date = u"Lumivra · 2026-12-06"_s;
    EXPECT_EQ(toolTips,
              (QStringList{u"Lumivra · 待命"_s, refreshing, u"Lumivra · 下载中"_s, date, refreshing, date}));
    EXPECT_EQ(alerts, QList<Alert>{Alert(u"壁纸已刷新"_s, u"当前壁纸日期：2026-12-06"_s)});
    EXPECT_EQ(pictures, (QStringList{cacheFile(digest), cacheFile(digest.toUpper())}));
    EXPECT_EQ(server.count(imagePath), 1);

    // Each step of the cycle failing in turn: what goes wrong, and what the alert then says.
    const std::pair<std::function<void()>, QString> rows[] = {
        {[&] { setPicture = [](const QString &) { throw DesktopError(u"桌面拒绝了这张图片。"_s); }; },
         u"桌面拒绝了这张图片。"_s},
        {[&] { setPicture = [](const QString &) { throw std::runtime_error("not one of ours"); }; },
         u"刷新时发生了意外错误。"_s},
        {[&] { serve(sha256Hex("another picture"), image); }, u"壁纸文件校验失败，已保留当前桌面。"_s},
        {[&] { server.on(todayPath, ScriptedResponse::json(R"({"error":"今天的壁纸还没有发布。"})", 404)); },
         u"今天的壁纸还没有发布。"_s},
        {[&] { address = invalidAddress; }, u"服务器地址无效。"_s},
    };
    for (const auto &[arrange, description] : rows) {
        SCOPED_TRACE(description.toStdString());
        alerts.clear();
        arrange();
        row(0)->trigger();
        ASSERT_TRUE(finishes());
        EXPECT_EQ(toolTips.last(), u"Lumivra · 刷新失败"_s);
        EXPECT_EQ(alerts, QList<Alert>{Alert(u"刷新壁纸失败"_s, description)});
    }
    EXPECT_EQ(pictures.size(), 2);
}

TEST_F(AppDelegateTest, delegateDestroyedWhileWaitingForTheServerEndsTheCycleQuietly) {
    serve(digest, image, 300ms);
    launch();
    ASSERT_TRUE(waitUntil([this] { return server.count(todayPath) == 1; }));
    delegate.reset();
    // Asked later, answered later: by then the first answer has been taken up.
    runTask(WallpaperAPIClient(server.url()).getTodayWallpaper());
    EXPECT_EQ(server.count(imagePath), 0);
    EXPECT_TRUE(pictures.isEmpty());
}

// The network's return: nothing after a success; after a failure a silent refresh, also for news that came
// during the failing cycle, and at most one per spacing.
TEST_F(AppDelegateTest, networkReturnRefreshesSilentlyAfterAFailureOnly) {
    serve(digest, image);
    launch();
    ASSERT_TRUE(finishes());
    emit network->networkAvailable();
    EXPECT_FALSE(delegate->refreshing()) << "a refresh after a success";
    address = invalidAddress;
    row(0)->trigger();
    emit network->networkAvailable();
    ASSERT_TRUE(waitUntil([this] { return toolTips.count(refreshing) == 3; })) << "no follow-up";
    ASSERT_TRUE(finishes());
    emit network->networkAvailable();
    EXPECT_FALSE(delegate->refreshing()) << "a second refresh within the spacing";
    address = server.url();
    ASSERT_TRUE(waitUntil([this] { return toolTips.count(refreshing) == 4; })) << "none after the spacing";
    ASSERT_TRUE(finishes());
    EXPECT_EQ(alerts.size(), 1) << "only the menu's refresh tells its outcome";
}
