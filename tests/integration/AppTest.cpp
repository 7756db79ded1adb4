#include "ScriptedHttpServer.h"
#include "TempHome.h"
#include "Wait.h"
#include "app/AppDelegate.h"
#include "app/StatusItem.h"
#include "app/SuspendAwareTimer.h"
#include "client/Errors.h"
#include "client/Models.h"
#include "client/ServerAddressStore.h"
#include "client/Sha256.h"
#include "system/LaunchAtLoginService.h"
#include "system/WallpaperCache.h"
#include "system/WallpaperSetter.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QSettings>
#include <QSysInfo>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

const QString todayPath = QStringLiteral("/api/client/wallpaper/today");
const QString imagePath = QStringLiteral("/files/7.png");
// An address that does not parse: every cycle fails at once without touching the network.
const QString invalidAddress = QStringLiteral("http://[::1");

// What the shell showed the user, kept by the test because the delegate owns its status item.
struct ShellRecord {
    QStringList toolTips;
    QIcon image;
    QPointer<QMenu> menu;
    QList<QPair<QString, QString>> alerts; // message and informative text
    // Runs while an alert is open; the alert closes when it returns.
    std::function<void()> whileAlertOpen;

    QString toolTip() const { return toolTips.isEmpty() ? QString() : toolTips.last(); }
};

// Stands in for the tray, which needs a desktop panel.
class RecordingStatusItem : public StatusItem {
public:
    explicit RecordingStatusItem(ShellRecord &record) : m_record(record) {}

    void setImage(const QIcon &image) override { m_record.image = image; }
    void setToolTip(const QString &text) override { m_record.toolTips.append(text); }
    void setMenu(std::unique_ptr<QMenu> menu) override {
        // A tray panel keeps talking to the menu it was shown: a second menu would pull it from under it.
        EXPECT_FALSE(m_menu) << "the menu is handed over once and then updated in place";
        m_menu = std::move(menu);
        m_record.menu = m_menu.get();
    }

private:
    ShellRecord &m_record;
    std::unique_ptr<QMenu> m_menu;
};

class NoDesktop : public DesktopBackend {
public:
    void setPicture(const QString &, const ScreenInfo &) override { ADD_FAILURE() << "no screen to set"; }
};

// Runs the event loop until everything posted so far has been handled.
void drainPostedEvents() {
    bool reached = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&reached] { reached = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(waitUntil([&] { return reached; }));
}

void storeServerAddress(const QString &address) {
    ServerAddressStore::applyApplicationIdentity();
    QSettings settings;
    settings.setValue(QLatin1String(ServerAddressStore::key), address);
    settings.sync();
}

QByteArray metadataJson(qint64 id, const QString &effectiveDate, const QByteArray &image,
                        bool upperCaseDigest = false, std::optional<qint64> length = std::nullopt) {
    QString digest = sha256Hex(image);
    if (upperCaseDigest)
        digest = digest.toUpper();
    return QStringLiteral(R"({"id":%1,"effectiveDate":"%2","fileName":"daily.png","contentType":"image/png",)"
                          R"("length":%3,"sha256":"%4","downloadUrl":"files/7.png"})")
        .arg(id)
        .arg(effectiveDate)
        .arg(length.value_or(image.size()))
        .arg(digest)
        .toUtf8();
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// The application shell against the real client, a loopback server and real files in a temporary home.
class AppTest : public ::testing::Test {
public:
    void SetUp() override { storeServerAddress(server.url()); }

    void serve(const QByteArray &metadata, const QByteArray &imageBytes) {
        server.on(todayPath, ScriptedResponse::json(metadata));
        server.on(imagePath, ScriptedResponse::bytes(imageBytes));
    }
    QByteArray todaysMetadata(const QString &date = QStringLiteral("2026-12-06")) const {
        return metadataJson(7, date, image);
    }
    void serveToday() { serve(todaysMetadata(), image); }

    void launch(std::chrono::milliseconds interval = hourlyRefreshInterval) {
        AppDelegateSeams seams;
        seams.makeStatusItem = [this] { return std::make_unique<RecordingStatusItem>(shell); };
        seams.showAlert = [this](const QString &messageText, const QString &informativeText) {
            shell.alerts.append({messageText, informativeText});
            if (shell.whileAlertOpen)
                shell.whileAlertOpen();
        };
        seams.setDesktopPicture = [this](const QString &file) { setPicture(file); };
        seams.clientTimeouts = {5s, 5s};
        seams.refreshInterval = interval;
        delegate = std::make_unique<AppDelegate>(std::move(seams));
        delegate->applicationDidFinishLaunching();
    }
    ::testing::AssertionResult finishes() {
        if (waitUntil([this] { return !delegate->refreshing(); }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the refresh did not finish";
    }
    void launchOffline() {
        storeServerAddress(invalidAddress);
        launch();
        ASSERT_TRUE(finishes());
    }

    QAction *item(const QString &title) const {
        for (QAction *action : shell.menu->actions())
            if (action->text() == title)
                return action;
        ADD_FAILURE() << "no menu item " << title.toStdString();
        return nullptr;
    }
    QAction *launchAtLoginItem() const { return item(QStringLiteral("开机自动启动")); }
    qsizetype cyclesStarted() const { return shell.toolTips.count(QStringLiteral("Lumivra · 刷新中")); }

    QString cacheFileOf(const QByteArray &metadata) const {
        return WallpaperCache::path(WallpaperMetadataResponse::decode(metadata));
    }
    QString todaysCacheFile() const { return cacheFileOf(todaysMetadata()); }

    TempHome home;
    ScriptedHttpServer server;
    ShellRecord shell;
    const QByteArray image = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(70000, 'w');
    QStringList picturesSet;
    std::function<void(const QString &)> setPicture = [this](const QString &file) {
        picturesSet.append(file);
    };
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppTest, statusItemShowsTheIconTheIdleToolTipAndTheMenuRows) {
    launchOffline();
    EXPECT_FALSE(shell.image.isNull());
    EXPECT_EQ(shell.toolTips.value(0), QStringLiteral("Lumivra · 待命"));
    ASSERT_TRUE(shell.menu);
    const struct {
        QString text; // empty: a separator
        QKeySequence shortcut;
        bool checkable;
    } expected[] = {{QStringLiteral("刷新壁纸"), QKeySequence(Qt::CTRL | Qt::Key_R), false},
                    {},
                    {QStringLiteral("开机自动启动"), {}, true},
                    {QStringLiteral("关于"), {}, false},
                    {},
                    {QStringLiteral("退出"), QKeySequence(Qt::CTRL | Qt::Key_Q), false}};
    const QList<QAction *> rows = shell.menu->actions();
    ASSERT_EQ(rows.size(), qsizetype(std::size(expected)));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i]->isSeparator(), expected[i].text.isEmpty()) << i;
        EXPECT_EQ(rows[i]->text(), expected[i].text) << i;
        EXPECT_EQ(rows[i]->shortcut(), expected[i].shortcut) << i;
        EXPECT_EQ(rows[i]->isCheckable(), expected[i].checkable) << i;
        EXPECT_FALSE(rows[i]->isChecked()) << i;
        EXPECT_TRUE(rows[i]->isEnabled() && rows[i]->isShortcutVisibleInContextMenu()) << i;
    }
}

TEST_F(AppTest, checkMarkFollowsTheLoginEntryAndTheClickActsOnTheFile) {
    LaunchAtLoginService::setEnabled(true);
    launchOffline();
    EXPECT_TRUE(launchAtLoginItem()->isChecked());
    const auto entryExists = [] { return QFileInfo::exists(LaunchAtLoginService::launchAgentURL()); };

    launchAtLoginItem()->trigger();
    EXPECT_FALSE(entryExists());
    EXPECT_FALSE(launchAtLoginItem()->isChecked());
    launchAtLoginItem()->trigger();
    EXPECT_TRUE(entryExists());
    EXPECT_TRUE(launchAtLoginItem()->isChecked());

    // Removed behind the menu's back: the mark is stale until the click, which enables the entry again.
    ASSERT_TRUE(QFile::remove(LaunchAtLoginService::launchAgentURL()));
    launchAtLoginItem()->trigger();
    EXPECT_TRUE(entryExists());
    EXPECT_TRUE(launchAtLoginItem()->isChecked());
    EXPECT_TRUE(shell.alerts.isEmpty());
}

TEST_F(AppTest, failingLoginSwitchShowsItsAlertAndLeavesTheMenuAsItWas) {
    launchOffline();
    // A file where the autostart folder should be: no entry can be written below it.
    QFile blocker(QFileInfo(LaunchAtLoginService::launchAgentURL()).path());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QPointer<QMenu> menuBefore = shell.menu;

    launchAtLoginItem()->trigger();
    ASSERT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(shell.alerts[0].first, QStringLiteral("开机启动设置失败"));
    EXPECT_FALSE(shell.alerts[0].second.isEmpty());
    EXPECT_EQ(shell.menu, menuBefore);
    EXPECT_FALSE(launchAtLoginItem()->isChecked());
}

TEST_F(AppTest, aboutBoxNamesTheProductAndWhatItDoes) {
    launchOffline();
    item(QStringLiteral("关于"))->trigger();
    ASSERT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(shell.alerts[0].first, QStringLiteral("Lumivra"));
    const QStringList paragraphs = shell.alerts[0].second.split(QStringLiteral("\n\n"));
    ASSERT_EQ(paragraphs.size(), 2);
    EXPECT_EQ(paragraphs[0], QSysInfo::productType() == QLatin1String("macos")
                                 ? QStringLiteral("macOS 客户端")
                                 : QStringLiteral("Linux 客户端"));
    EXPECT_TRUE(paragraphs[1].endsWith(QStringLiteral("。")));
    EXPECT_FALSE(paragraphs[1].contains(u'\n'));
}

TEST_F(AppTest, launchStartsOneSilentRefreshAndEachTickAnotherOne) {
    storeServerAddress(invalidAddress);
    launch(20ms);
    EXPECT_EQ(cyclesStarted(), 1);
    EXPECT_TRUE(delegate->refreshing());
    ASSERT_TRUE(waitUntil([this] { return cyclesStarted() >= 3; }));
    EXPECT_TRUE(shell.alerts.isEmpty()) << "timer refreshes never raise an alert";
}

TEST_F(AppTest, tickRunsTheRefreshInALaterTurnOfTheLoopAndNotForADelegateThatIsGone) {
    launchOffline();
    const QPointer<SuspendAwareTimer> first = delegate->hourlyTimer();
    delegate->startTimer();
    EXPECT_TRUE(first.isNull()) << "starting the timer again leaves only the new one";
    emit delegate->hourlyTimer()->timeout();
    EXPECT_EQ(cyclesStarted(), 1) << "not inside the timer's callback";
    drainPostedEvents();
    EXPECT_EQ(cyclesStarted(), 2);

    ASSERT_TRUE(finishes());
    emit delegate->hourlyTimer()->timeout();
    delegate.reset();
    drainPostedEvents();
    EXPECT_EQ(cyclesStarted(), 2);
}

TEST_F(AppTest, launchDownloadsVerifiesAndSetsSilentlyThenMenuRefreshReusesAndReports) {
    serveToday();
    launch();
    // The request is accepted synchronously; the work starts in a later turn of the loop.
    EXPECT_TRUE(delegate->refreshing());
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 刷新中"));
    ASSERT_TRUE(finishes());

    EXPECT_EQ(shell.toolTips,
              (QStringList{QStringLiteral("Lumivra · 待命"), QStringLiteral("Lumivra · 刷新中"),
                           QStringLiteral("Lumivra · 下载中"), QStringLiteral("Lumivra · 2026-12-06")}));
    EXPECT_TRUE(shell.alerts.isEmpty());
    EXPECT_EQ(picturesSet, QStringList{todaysCacheFile()});
    EXPECT_EQ(readFile(todaysCacheFile()), image);
    EXPECT_EQ(server.count(imagePath), 1);

    shell.toolTips.clear();
    item(QStringLiteral("刷新壁纸"))->trigger();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(shell.toolTips,
              (QStringList{QStringLiteral("Lumivra · 刷新中"), QStringLiteral("Lumivra · 2026-12-06")}));
    ASSERT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(shell.alerts[0],
              qMakePair(QStringLiteral("壁纸已刷新"), QStringLiteral("当前壁纸日期：2026-12-06")));
    EXPECT_EQ(server.count(todayPath), 2);
    EXPECT_EQ(server.count(imagePath), 1) << "a matching cached copy is not downloaded again";
    EXPECT_EQ(picturesSet.size(), 2) << "the picture is set on every successful cycle";
}

TEST_F(AppTest, cachedCopyIsReusedWhenItsDigestMatchesInAnyCaseWhateverTheAnnouncedLength) {
    const QByteArray metadata = metadataJson(7, QStringLiteral("2026-12-06"), image, true, 123);
    serve(metadata, image);
    writeFile(cacheFileOf(metadata), image);

    launch();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(server.count(imagePath), 0);
    EXPECT_FALSE(shell.toolTips.contains(QStringLiteral("Lumivra · 下载中")));
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 2026-12-06"));
    EXPECT_EQ(picturesSet, QStringList{cacheFileOf(metadata)});
}

TEST_F(AppTest, cachedCopyWithOtherContentIsDownloadedAgainIntoTheSameFile) {
    serveToday();
    writeFile(todaysCacheFile(), "an older picture under the same name");

    launch();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(server.count(imagePath), 1);
    EXPECT_EQ(readFile(todaysCacheFile()), image);
    EXPECT_EQ(picturesSet, QStringList{todaysCacheFile()});
}

TEST_F(AppTest, requestWhileACycleRunsIsDroppedWithoutATrace) {
    serveToday();
    launch();
    ASSERT_TRUE(delegate->refreshing());
    const QStringList toolTipsBefore = shell.toolTips;
    item(QStringLiteral("刷新壁纸"))->trigger();
    delegate->refreshWallpaper(false);
    EXPECT_EQ(shell.toolTips, toolTipsBefore);

    ASSERT_TRUE(finishes());
    drainPostedEvents();
    EXPECT_EQ(server.count(todayPath), 1) << "no second cycle, neither now nor later";
    EXPECT_TRUE(shell.alerts.isEmpty()) << "the dropped menu request shows nothing";

    delegate->refreshMenuItemClicked();
    EXPECT_TRUE(delegate->refreshing()) << "after the cycle ends the next request is accepted";
    ASSERT_TRUE(finishes());
    EXPECT_EQ(server.count(todayPath), 2);
}

TEST_F(AppTest, cycleStaysInFlightUntilItsAlertIsClosedAndTicksMeanwhileAreNotMadeUp) {
    serveToday();
    launch();
    ASSERT_TRUE(finishes());

    bool checkedWhileOpen = false;
    shell.whileAlertOpen = [&] {
        checkedWhileOpen = true;
        EXPECT_TRUE(delegate->refreshing());
        const qsizetype toolTips = shell.toolTips.size();
        delegate->refreshMenuItemClicked();
        emit delegate->hourlyTimer()->timeout();
        drainPostedEvents();
        EXPECT_EQ(shell.toolTips.size(), toolTips);
    };
    delegate->refreshMenuItemClicked();
    ASSERT_TRUE(finishes());
    EXPECT_TRUE(checkedWhileOpen);
    drainPostedEvents();
    EXPECT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(server.count(todayPath), 2);
}

TEST_F(AppTest, serverAddressIsReadWhenARequestIsAccepted) {
    serveToday();
    ScriptedHttpServer otherServer;
    otherServer.on(todayPath, ScriptedResponse::json(metadataJson(8, QStringLiteral("2026-12-07"), image)));
    otherServer.on(imagePath, ScriptedResponse::bytes(image));

    launch();
    storeServerAddress(otherServer.url()); // too late for the cycle already accepted
    ASSERT_TRUE(finishes());
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 2026-12-06"));

    delegate->refreshWallpaper(false);
    ASSERT_TRUE(finishes());
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 2026-12-07"));
    EXPECT_EQ(server.count(todayPath), 1);
    EXPECT_EQ(otherServer.count(todayPath), 1);
}

TEST_F(AppTest, withoutAScreenTheVerifiedFileStaysForTheNextCycle) {
    serveToday();
    bool screenAttached = false;
    setPicture = [&](const QString &file) {
        if (screenAttached) {
            picturesSet.append(file);
            return;
        }
        NoDesktop desktop;
        WallpaperSetter::set(file, {}, desktop);
    };
    launch();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 刷新失败"));
    EXPECT_EQ(readFile(todaysCacheFile()), image);

    delegate->refreshMenuItemClicked();
    ASSERT_TRUE(finishes());
    ASSERT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(shell.alerts[0],
              qMakePair(QStringLiteral("刷新壁纸失败"), QStringLiteral("没有找到可设置壁纸的屏幕。")));

    screenAttached = true;
    delegate->refreshWallpaper(false);
    ASSERT_TRUE(finishes());
    EXPECT_EQ(picturesSet, QStringList{todaysCacheFile()});
    EXPECT_EQ(server.count(imagePath), 1) << "the file verified by the first cycle is reused";
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 2026-12-06"));
}

TEST_F(AppTest, delegateDestroyedWhileWaitingForTheServerEndsTheCycleQuietly) {
    ScriptedResponse slow = ScriptedResponse::json(todaysMetadata());
    slow.delay = 300ms;
    server.on(todayPath, slow);
    server.on(imagePath, ScriptedResponse::bytes(image));
    bool answered = false;
    QObject::connect(&sharedNetworkAccessManager(), &QNetworkAccessManager::finished, &server,
                     [&](QNetworkReply *reply) { answered = reply->url().path() == todayPath; });

    launch();
    ASSERT_TRUE(waitUntil([&] { return server.count(todayPath) == 1; }));
    delegate.reset();
    ASSERT_TRUE(waitUntil([&] { return answered; }));
    drainPostedEvents();
    EXPECT_EQ(server.count(imagePath), 0);
    EXPECT_TRUE(picturesSet.isEmpty());
}

// Each kind of failure of the cycle, once in a launch cycle (tool tip only) and once from the menu (tool tip
// and alert). What each answer of the service fails with is the client's tests' business.
struct FailingStep {
    const char *name;
    std::function<void(AppTest &)> arrange;
    QString expectedDescription; // empty: any description will do, it comes from a lower layer
    bool networkUntouched = false;
};

class AppFailureTest : public AppTest, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(AppFailureTest, failureShowsInTheToolTipAndOnlyMenuRefreshesRaiseTheAlert) {
    GetParam().arrange(*this);
    launch();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 刷新失败"));
    EXPECT_TRUE(shell.alerts.isEmpty());
    EXPECT_TRUE(picturesSet.isEmpty());

    const QPointer<QMenu> menuBefore = shell.menu;
    item(QStringLiteral("刷新壁纸"))->trigger();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 刷新失败"));
    EXPECT_EQ(shell.menu, menuBefore);
    ASSERT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(shell.alerts[0].first, QStringLiteral("刷新壁纸失败"));
    if (GetParam().expectedDescription.isEmpty()) {
        EXPECT_FALSE(shell.alerts[0].second.isEmpty());
    } else {
        EXPECT_EQ(shell.alerts[0].second, GetParam().expectedDescription);
    }
    if (GetParam().networkUntouched) {
        EXPECT_TRUE(server.requests().isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, AppFailureTest,
    ::testing::Values(
        FailingStep{"invalidServerURL", [](AppTest &) { storeServerAddress(invalidAddress); },
                    QStringLiteral("服务器地址无效。"), true},
        FailingStep{"metadataServiceError",
                    [](AppTest &t) {
                        t.server.on(todayPath,
                                    ScriptedResponse::json(R"({"error":"今天的壁纸还没有发布。"})", 404));
                    },
                    QStringLiteral("今天的壁纸还没有发布。")},
        FailingStep{"serverUnreachable",
                    [](AppTest &) {
                        ScriptedHttpServer gone;
                        storeServerAddress(gone.url()); // its port is closed again when this returns
                    },
                    QString()},
        FailingStep{"downloadDigestMismatch",
                    [](AppTest &t) { t.serve(t.todaysMetadata(), t.image + "tampered"); },
                    QStringLiteral("壁纸文件校验失败，已保留当前桌面。")},
        FailingStep{"desktopRefuses",
                    [](AppTest &t) {
                        t.serveToday();
                        t.setPicture = [](const QString &) {
                            throw DesktopError(QStringLiteral("桌面拒绝了这张图片。"));
                        };
                    },
                    QStringLiteral("桌面拒绝了这张图片。")},
        FailingStep{"unexpectedException",
                    [](AppTest &t) {
                        t.serveToday();
                        t.setPicture = [](const QString &) { throw std::runtime_error("not one of ours"); };
                    },
                    QString()}),
    [](const ::testing::TestParamInfo<FailingStep> &info) { return std::string(info.param.name); });

} // namespace
