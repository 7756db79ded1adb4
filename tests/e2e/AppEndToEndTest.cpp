#include "ScriptedHttpServer.h"
#include "TempHome.h"
#include "Wait.h"
#include "client/Models.h"
#include "client/ServerAddressStore.h"
#include "client/Sha256.h"
#include "system/ClientPaths.h"
#include "system/WallpaperCache.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

const QString todayPath = QStringLiteral("/api/client/wallpaper/today");
const QString imagePath = QStringLiteral("/files/daily.png");

// Output of a short helper command (xprop, xdotool), or empty when it failed.
QString run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString rootPictureId() {
    const QString answer =
        run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_XROOTPMAP_ID")});
    return answer.contains(QStringLiteral("pixmap id")) ? answer.section(u'#', 1).trimmed() : QString();
}

// The program's windows that are mapped, as "id widthxheight".
QList<QPair<QString, QSize>> visibleProgramWindows() {
    QList<QPair<QString, QSize>> windows;
    const QString ids =
        run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--classname"), QStringLiteral("^lumivra$")});
    for (const QString &id : ids.split(u'\n', Qt::SkipEmptyParts)) {
        const QString geometry = run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), id});
        const QString size = geometry.section(QStringLiteral("Geometry:"), 1).trimmed();
        windows.append({id, QSize(size.section(u'x', 0, 0).toInt(), size.section(u'x', 1, 1).toInt())});
    }
    return windows;
}

// The icon docked in the tray: a small mapped window of the program.
QString trayIconWindow() {
    for (const auto &[id, size] : visibleProgramWindows())
        if (size.width() >= 16 && size.width() <= 64 && size.height() >= 16 && size.height() <= 64)
            return id;
    return {};
}

// A window of the program other than the tray icon, such as an alert or the menu.
QString otherProgramWindow(const QString &trayIcon) {
    for (const auto &[id, size] : visibleProgramWindows())
        if (id != trayIcon && size.width() > 64)
            return id;
    return {};
}

QByteArray pngPicture() {
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(QColor(40, 90, 160));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class AppEndToEndTest : public ::testing::Test {
protected:
    // The program as `cmake --install` lays it out, installed once for all tests.
    static void SetUpTestSuite() {
        prefix = new QTemporaryDir;
        QProcess install;
        install.start(QStringLiteral("cmake"),
                      {QStringLiteral("--install"), qEnvironmentVariable("LUMIVRA_BINARY_DIR"),
                       QStringLiteral("--prefix"), prefix->path(), QStringLiteral("--component"),
                       QStringLiteral("lumivra")});
        installed = install.waitForFinished(120000) && install.exitCode() == 0;
    }
    static void TearDownTestSuite() { delete prefix; }

    void SetUp() override {
        ASSERT_TRUE(installed) << "cmake --install failed";
        ASSERT_TRUE(QDir().mkpath(runtimeDir()));
        QFile(runtimeDir())
            .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        const QByteArray metadata =
            QStringLiteral(
                R"({"id":42,"effectiveDate":"2026-12-06","fileName":"daily.png","contentType":"image/png",)"
                R"("length":%1,"sha256":"%2","downloadUrl":"files/daily.png"})")
                .arg(picture.size())
                .arg(sha256Hex(picture))
                .toUtf8();
        server.on(todayPath, ScriptedResponse::json(metadata));
        server.on(imagePath, ScriptedResponse::bytes(picture));
        cacheFile = WallpaperCache::path(WallpaperMetadataResponse::decode(metadata));

        ServerAddressStore::applyApplicationIdentity();
        QSettings settings;
        settings.setValue(QLatin1String(ServerAddressStore::key), server.url());
        settings.sync();
        // The desktop a previous test left behind must not count as this test's result.
        run(QStringLiteral("xprop"),
            {QStringLiteral("-root"), QStringLiteral("-remove"), QStringLiteral("_XROOTPMAP_ID")});
    }

    void TearDown() override {
        for (QProcess *process : {&program, &tray}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

    QString runtimeDir() const { return home.path() + QStringLiteral("/run"); }

    // The session of a plain X11 desktop: no desktop environment, so the picture goes on the root window.
    QProcessEnvironment session() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("x11"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        environment.remove(QStringLiteral("DESKTOP_SESSION"));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        return environment;
    }

    void start(QProcess &process) const {
        process.setProcessEnvironment(session());
        process.setProgram(prefix->filePath(QStringLiteral("bin/lumivra")));
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start();
    }
    void startTray() {
        tray.setProcessEnvironment(session());
        tray.start(QStringLiteral("trayer"),
                   {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                    QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                    QStringLiteral("--height"), QStringLiteral("24")});
        ASSERT_TRUE(tray.waitForStarted());
    }
    void stopProgram() {
        program.kill();
        ASSERT_TRUE(program.waitForFinished());
    }

    ::testing::AssertionResult pictureIsSet() const {
        if (!waitUntil([this] { return !rootPictureId().isEmpty(); }, 30s))
            return ::testing::AssertionFailure() << "the root window never got a picture";
        QFile cached(cacheFile);
        if (!cached.open(QIODevice::ReadOnly) || cached.readAll() != picture)
            return ::testing::AssertionFailure() << "the cache does not hold the verified picture";
        return ::testing::AssertionSuccess();
    }
    void rightClick(const QString &window) const {
        run(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("8"),
             QStringLiteral("8"), QStringLiteral("click"), QStringLiteral("3")});
    }
    // Opens the tray menu and clicks a row, given by its distance from the menu's bottom edge in pixels:
    // the rows are about 22 pixels high, so "退出" is centred 12 pixels above the edge and "关于" 36.
    void chooseFromMenu(const QString &trayIcon, int pixelsAboveBottom) const {
        rightClick(trayIcon);
        QString menu;
        ASSERT_TRUE(waitUntil([&] { return !(menu = otherProgramWindow(trayIcon)).isEmpty(); }))
            << "the tray menu did not open";
        const QString geometry = run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), menu});
        const QString size = geometry.section(QStringLiteral("Geometry:"), 1).trimmed();
        const int width = size.section(u'x', 0, 0).toInt();
        const int height = size.section(u'x', 1, 1).toInt();
        run(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QStringLiteral("--window"), menu, QString::number(width / 2),
             QString::number(height - pixelsAboveBottom), QStringLiteral("click"), QStringLiteral("1")});
    }

    static inline QTemporaryDir *prefix = nullptr;
    static inline bool installed = false;

    TempHome home;
    ScriptedHttpServer server;
    const QByteArray picture = pngPicture();
    QString cacheFile;
    QProcess program;
    QProcess tray;
};

TEST_F(AppEndToEndTest, referenceServiceDeliversThePictureOfTheDay) {
    const QString serverBinary = qEnvironmentVariable("LUMIVRA_SERVER_BINARY");
    if (serverBinary.isEmpty())
        GTEST_SKIP() << "lumivra-server is not part of this build";
    QTemporaryDir wallpapers;
    QFile daily(wallpapers.filePath(QStringLiteral("daily.png")));
    ASSERT_TRUE(daily.open(QIODevice::WriteOnly));
    daily.write(picture);
    daily.close();

    QProcess service;
    service.start(serverBinary,
                  {QStringLiteral("--root"), wallpapers.path(), QStringLiteral("--listen"),
                   QStringLiteral("127.0.0.1:0"), QStringLiteral("--date"), QStringLiteral("2026-12-06")});
    static const QRegularExpression announcement(QStringLiteral("listening on (http://\\S+)"));
    QByteArray said;
    QRegularExpressionMatch match;
    ASSERT_TRUE(waitUntil([&] {
        said += service.readAllStandardOutput();
        match = announcement.match(QString::fromUtf8(said));
        return match.hasMatch();
    })) << "lumivra-server did not start";
    // Told apart from a failure of the program: the service itself answers.
    QNetworkAccessManager probe;
    std::unique_ptr<QNetworkReply> answer(probe.get(QNetworkRequest(QUrl(match.captured(1) + todayPath))));
    ASSERT_TRUE(waitUntil([&] { return answer->isFinished(); })) << "lumivra-server does not answer";
    ASSERT_EQ(answer->error(), QNetworkReply::NoError);

    ServerAddressStore::applyApplicationIdentity();
    QSettings().setValue(QLatin1String(ServerAddressStore::key), match.captured(1));

    start(program);
    EXPECT_TRUE(waitUntil([] { return !rootPictureId().isEmpty(); }, 30s));
    const QStringList cached = QDir(ClientPaths::wallpaperCache()).entryList(QDir::Files);
    ASSERT_EQ(cached.size(), 1);
    QFile cachedFile(QDir(ClientPaths::wallpaperCache()).filePath(cached[0]));
    ASSERT_TRUE(cachedFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(cachedFile.readAll(), picture);
    service.terminate();
    service.waitForFinished();
}

TEST_F(AppEndToEndTest, quittingDoesNotWaitForARefreshInFlight) {
    ScriptedResponse stalled = ScriptedResponse::json("{}");
    stalled.stallAfter = 0;
    server.on(todayPath, stalled);
    startTray();
    start(program);
    QString icon;
    ASSERT_TRUE(
        waitUntil([&] { return !(icon = trayIconWindow()).isEmpty() && server.count(todayPath) == 1; }));

    chooseFromMenu(icon, 12); // 退出
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(AppEndToEndTest, installPutsTheProgramItsIconAndItsMenuEntryInPlace) {
    EXPECT_TRUE(QFileInfo(prefix->filePath(QStringLiteral("bin/lumivra"))).isExecutable());
    EXPECT_FALSE(QImage(prefix->filePath(QStringLiteral("share/lumivra/AppIcon.png"))).isNull());
    EXPECT_EQ(QImage(prefix->filePath(
                         QStringLiteral("share/icons/hicolor/256x256/apps/site.lumivra.wallpaper.png")))
                  .size(),
              QSize(256, 256));
    const QString entry =
        prefix->filePath(QStringLiteral("share/applications/site.lumivra.wallpaper.desktop"));
    QSettings desktopEntry(entry, QSettings::IniFormat);
    desktopEntry.beginGroup(QStringLiteral("Desktop Entry"));
    EXPECT_EQ(desktopEntry.value(QStringLiteral("Name")).toString(), QStringLiteral("Lumivra"));
    EXPECT_EQ(desktopEntry.value(QStringLiteral("Exec")).toString(), QStringLiteral("lumivra"));
    EXPECT_EQ(desktopEntry.value(QStringLiteral("Icon")).toString(),
              QStringLiteral("site.lumivra.wallpaper"));
    EXPECT_EQ(run(QStringLiteral("desktop-file-validate"), {entry}), QString()) << "the entry is valid";
}

TEST_F(AppEndToEndTest, launchSetsTheVerifiedPictureAndTheNextLaunchReusesIt) {
    startTray();
    start(program);
    ASSERT_TRUE(pictureIsSet());
    EXPECT_EQ(server.count(imagePath), 1);
    EXPECT_TRUE(waitUntil([] { return !trayIconWindow().isEmpty(); })) << "the icon docks in the tray";

    stopProgram();
    run(QStringLiteral("xprop"),
        {QStringLiteral("-root"), QStringLiteral("-remove"), QStringLiteral("_XROOTPMAP_ID")});
    start(program);
    ASSERT_TRUE(pictureIsSet());
    EXPECT_EQ(server.count(todayPath), 2);
    EXPECT_EQ(server.count(imagePath), 1) << "the cached copy is reused, not downloaded again";
}

TEST_F(AppEndToEndTest, secondCopyExitsAtOnceAndChangesNothing) {
    start(program);
    ASSERT_TRUE(pictureIsSet());

    QProcess second;
    start(second);
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(server.count(todayPath), 1) << "the second copy never asked the service";
    EXPECT_EQ(program.state(), QProcess::Running);
}

TEST_F(AppEndToEndTest, withoutATrayTheProgramWorksAndDocksWhenATrayAppears) {
    start(program);
    ASSERT_TRUE(pictureIsSet());
    EXPECT_TRUE(trayIconWindow().isEmpty());

    startTray();
    EXPECT_TRUE(waitUntil([] { return !trayIconWindow().isEmpty(); }, 30s));
}

TEST_F(AppEndToEndTest, trayMenuShowsTheAboutBoxAndQuits) {
    startTray();
    start(program);
    ASSERT_TRUE(pictureIsSet());
    QString icon;
    ASSERT_TRUE(waitUntil([&] { return !(icon = trayIconWindow()).isEmpty(); }));

    // A plain click opens the menu as well, as it does in a menu bar.
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("--window"), icon, QStringLiteral("8"),
         QStringLiteral("8"), QStringLiteral("click"), QStringLiteral("1")});
    ASSERT_TRUE(waitUntil([&] { return !otherProgramWindow(icon).isEmpty(); }))
        << "a left click opens no menu";
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(waitUntil([&] { return otherProgramWindow(icon).isEmpty(); }));

    chooseFromMenu(icon, 36); // 关于
    ASSERT_TRUE(waitUntil([&] {
        return !run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                QStringLiteral("--name"), QStringLiteral("^Lumivra$")})
                    .isEmpty();
    })) << "the about box did not show";
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")}); // its one button
    ASSERT_TRUE(waitUntil([&] { return otherProgramWindow(icon).isEmpty(); }))
        << "the about box did not close";
    EXPECT_EQ(program.state(), QProcess::Running) << "closing an alert does not end the program";

    chooseFromMenu(icon, 12); // 退出
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

} // namespace
