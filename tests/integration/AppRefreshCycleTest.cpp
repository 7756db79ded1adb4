#include "AppTestFakes.h"
#include "ScriptedHttpServer.h"
#include "TempHome.h"
#include "Wait.h"
#include "app/AppDelegate.h"
#include "client/Errors.h"
#include "client/Models.h"
#include "system/WallpaperCache.h"
#include "system/WallpaperSetter.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

const QString todayPath = QStringLiteral("/api/client/wallpaper/today");
const QString imagePath = QStringLiteral("/files/7.png");

class NoDesktop : public DesktopBackend {
public:
    void setPicture(const QString &, const ScreenInfo &) override { ADD_FAILURE() << "no screen to set"; }
};

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

class AppRefreshCycleTest : public ::testing::Test {
public:
    void SetUp() override { storeServerAddress(server.url()); }

    void serve(const QByteArray &metadata, const QByteArray &imageBytes) {
        server.on(todayPath, ScriptedResponse::json(metadata));
        server.on(imagePath, ScriptedResponse::bytes(imageBytes));
    }
    QByteArray todaysMetadata(const QString &date = QStringLiteral("2026-12-06")) const {
        return metadataJson(7, date, image, QStringLiteral("files/7.png"));
    }
    void serveToday(const QString &date = QStringLiteral("2026-12-06")) {
        serve(todaysMetadata(date), image);
    }

    AppDelegateSeams seams() {
        AppDelegateSeams seams = recordingSeams(shell);
        seams.setDesktopPicture = [this](const QString &file) { setPicture(file); };
        seams.clientTimeouts = {5s, 5s};
        return seams;
    }
    void launch() {
        delegate = std::make_unique<AppDelegate>(seams());
        delegate->applicationDidFinishLaunching();
    }
    ::testing::AssertionResult finishes() {
        if (waitUntil([this] { return !delegate->refreshing(); }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the refresh did not finish";
    }

    QString cacheFileOf(const QByteArray &metadata) const {
        return WallpaperCache::path(WallpaperMetadataResponse::decode(metadata));
    }
    QString todaysCacheFile() const {
        return cacheFileOf(metadataJson(7, {}, image, QStringLiteral("files/7.png")));
    }

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

TEST_F(AppRefreshCycleTest, launchDownloadsVerifiesAndSetsSilentlyThenMenuRefreshReusesAndReports) {
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
    delegate->refreshMenuItemClicked();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(shell.toolTips,
              (QStringList{QStringLiteral("Lumivra · 刷新中"), QStringLiteral("Lumivra · 2026-12-06")}));
    ASSERT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(shell.alerts[0].messageText, QStringLiteral("壁纸已刷新"));
    EXPECT_EQ(shell.alerts[0].informativeText, QStringLiteral("当前壁纸日期：2026-12-06"));
    EXPECT_EQ(server.count(todayPath), 2);
    EXPECT_EQ(server.count(imagePath), 1) << "a matching cached copy is not downloaded again";
    EXPECT_EQ(picturesSet.size(), 2) << "the picture is set on every successful cycle";
}

TEST_F(AppRefreshCycleTest, cachedCopyIsReusedWhenItsDigestMatchesInAnyCaseWhateverTheAnnouncedLength) {
    const QByteArray metadata =
        metadataJson(7, QStringLiteral("2026-12-06"), image, QStringLiteral("files/7.png"),
                     /*upperCaseDigest=*/true, /*length=*/123);
    serve(metadata, image);
    writeFile(cacheFileOf(metadata), image);

    launch();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(server.count(imagePath), 0);
    EXPECT_EQ(shell.toolTips,
              (QStringList{QStringLiteral("Lumivra · 待命"), QStringLiteral("Lumivra · 刷新中"),
                           QStringLiteral("Lumivra · 2026-12-06")}));
    EXPECT_EQ(picturesSet, QStringList{cacheFileOf(metadata)});
}

TEST_F(AppRefreshCycleTest, cachedCopyWithOtherContentIsDownloadedAgainIntoTheSameFile) {
    serveToday();
    writeFile(todaysCacheFile(), "an older picture under the same name");

    launch();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(server.count(imagePath), 1);
    EXPECT_TRUE(shell.toolTips.contains(QStringLiteral("Lumivra · 下载中")));
    EXPECT_EQ(readFile(todaysCacheFile()), image);
    EXPECT_EQ(picturesSet, QStringList{todaysCacheFile()});
}

TEST_F(AppRefreshCycleTest, emptyEffectiveDateLeavesThePrefixAlone) {
    serveToday(QString());
    launch();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · "));

    delegate->refreshMenuItemClicked();
    ASSERT_TRUE(finishes());
    ASSERT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(shell.alerts[0].informativeText, QStringLiteral("当前壁纸日期："));
}

TEST_F(AppRefreshCycleTest, requestWhileACycleRunsIsDroppedWithoutATrace) {
    serveToday();
    launch();
    ASSERT_TRUE(delegate->refreshing());
    const QStringList toolTipsBefore = shell.toolTips;
    delegate->refreshMenuItemClicked();
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

TEST_F(AppRefreshCycleTest, cycleStaysInFlightUntilItsAlertIsClosed) {
    serveToday();
    launch();
    ASSERT_TRUE(finishes());

    bool checkedWhileOpen = false;
    shell.whileAlertOpen = [&] {
        checkedWhileOpen = true;
        EXPECT_TRUE(delegate->refreshing());
        const qsizetype toolTips = shell.toolTips.size();
        delegate->refreshMenuItemClicked();
        EXPECT_EQ(shell.toolTips.size(), toolTips);
        drainPostedEvents();
    };
    delegate->refreshMenuItemClicked();
    ASSERT_TRUE(finishes());
    EXPECT_TRUE(checkedWhileOpen);
    drainPostedEvents();
    EXPECT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(server.count(todayPath), 2);
}

TEST_F(AppRefreshCycleTest, serverAddressIsReadWhenARequestIsAccepted) {
    serveToday();
    ScriptedHttpServer otherServer;
    otherServer.on(todayPath, ScriptedResponse::json(metadataJson(8, QStringLiteral("2026-12-07"), image,
                                                                  QStringLiteral("files/7.png"))));
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

TEST_F(AppRefreshCycleTest, withoutAScreenTheVerifiedFileStaysForTheNextCycle) {
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
    EXPECT_EQ(shell.alerts[0].messageText, QStringLiteral("刷新壁纸失败"));
    EXPECT_EQ(shell.alerts[0].informativeText, QStringLiteral("没有找到可设置壁纸的屏幕。"));

    screenAttached = true;
    delegate->refreshWallpaper(false);
    ASSERT_TRUE(finishes());
    EXPECT_EQ(picturesSet, QStringList{todaysCacheFile()});
    EXPECT_EQ(server.count(imagePath), 1) << "the file verified by the first cycle is reused";
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 2026-12-06"));
}

TEST_F(AppRefreshCycleTest, delegateDestroyedWhileWaitingForTheServerEndsTheCycleQuietly) {
    ScriptedResponse slow = ScriptedResponse::json(
        metadataJson(7, QStringLiteral("2026-12-06"), image, QStringLiteral("files/7.png")));
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

// Every step of the cycle that can fail, each failing once in a launch cycle (tool tip only) and once
// from the menu (tool tip and alert).
struct FailingStep {
    const char *name;
    std::function<void(AppRefreshCycleTest &)> arrange;
    QString expectedDescription; // empty: any description will do, it comes from a lower layer
    bool networkUntouched = false;
};

class AppRefreshCycleFailureTest : public AppRefreshCycleTest,
                                   public ::testing::WithParamInterface<FailingStep> {};

TEST_P(AppRefreshCycleFailureTest, failureShowsInTheToolTipAndOnlyMenuRefreshesRaiseTheAlert) {
    GetParam().arrange(*this);
    launch();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 刷新失败"));
    EXPECT_TRUE(shell.alerts.isEmpty());
    EXPECT_TRUE(picturesSet.isEmpty());

    delegate->refreshMenuItemClicked();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(shell.toolTip(), QStringLiteral("Lumivra · 刷新失败"));
    ASSERT_EQ(shell.alerts.size(), 1);
    EXPECT_EQ(shell.alerts[0].messageText, QStringLiteral("刷新壁纸失败"));
    if (GetParam().expectedDescription.isEmpty()) {
        EXPECT_FALSE(shell.alerts[0].informativeText.isEmpty());
    } else {
        EXPECT_EQ(shell.alerts[0].informativeText, GetParam().expectedDescription);
    }
    EXPECT_FALSE(delegate->refreshing());
    if (GetParam().networkUntouched) {
        EXPECT_TRUE(server.requests().isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, AppRefreshCycleFailureTest,
    ::testing::Values(
        FailingStep{"invalidServerURL",
                    [](AppRefreshCycleTest &) { storeServerAddress(QStringLiteral("http://[::1")); },
                    QStringLiteral("服务器地址无效。"), true},
        FailingStep{"metadataServiceError",
                    [](AppRefreshCycleTest &t) {
                        t.server.on(todayPath,
                                    ScriptedResponse::json(R"({"error":"今天的壁纸还没有发布。"})", 404));
                    },
                    QStringLiteral("今天的壁纸还没有发布。")},
        FailingStep{
            "metadataErrorStatusWithoutErrorBody",
            [](AppRefreshCycleTest &t) { t.server.on(todayPath, ScriptedResponse::bytes("oops", 503)); },
            QStringLiteral("服务器返回错误：503")},
        FailingStep{
            "metadataUndecodable",
            [](AppRefreshCycleTest &t) { t.server.on(todayPath, ScriptedResponse::json(R"({"id":7})")); },
            QString()},
        FailingStep{"serverUnreachable",
                    [](AppRefreshCycleTest &) {
                        ScriptedHttpServer gone;
                        storeServerAddress(gone.url()); // its port is closed again when this returns
                    },
                    QString()},
        FailingStep{"downloadErrorStatus",
                    [](AppRefreshCycleTest &t) {
                        t.serve(t.todaysMetadata(), {});
                        t.server.on(imagePath, ScriptedResponse::bytes({}, 404));
                    },
                    QStringLiteral("服务器返回错误：404")},
        FailingStep{"downloadDigestMismatch",
                    [](AppRefreshCycleTest &t) { t.serve(t.todaysMetadata(), t.image + "tampered"); },
                    QStringLiteral("壁纸文件校验失败，已保留当前桌面。")},
        FailingStep{"desktopRefuses",
                    [](AppRefreshCycleTest &t) {
                        t.serve(t.todaysMetadata(), t.image);
                        t.setPicture = [](const QString &) {
                            throw DesktopError(QStringLiteral("桌面拒绝了这张图片。"));
                        };
                    },
                    QStringLiteral("桌面拒绝了这张图片。")},
        FailingStep{"unexpectedException",
                    [](AppRefreshCycleTest &t) {
                        t.serve(t.todaysMetadata(), t.image);
                        t.setPicture = [](const QString &) { throw std::runtime_error("not one of ours"); };
                    },
                    QString()}),
    [](const ::testing::TestParamInfo<FailingStep> &info) { return std::string(info.param.name); });

} // namespace
