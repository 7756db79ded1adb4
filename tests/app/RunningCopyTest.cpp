#include "Files.h"
#include "PrivateBus.h"
#include "Program.h"
#include "ScriptedHttpServer.h"
#include "TempHome.h"
#include "Wait.h"
#include "client/ServerAddressStore.h"
#include "client/Sha256.h"
#include "system/LaunchAtLoginService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <gio/gdesktopappinfo.h>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;

namespace {

const QString program = qEnvironmentVariable("LUMIVRA_PROGRAM");
const QString todayPath = "/api/client/wallpaper/today", dated = "Lumivra · 2026-12-06",
              failed = "Lumivra · 刷新失败";

// The program on a private bus and display with no StatusNotifier watcher and no XEmbed tray, its service
// on loopback, in a network namespace with nothing but loopback until the test adds a route.
class RunningCopyTest : public ::testing::Test {
protected:
    RunningCopyTest() {
        ServerAddressStore::applyApplicationIdentity();
        QSettings().setValue(QLatin1String(ServerAddressStore::key), service.url());
        const QString json =
            R"({"id":7,"effectiveDate":"2026-12-06","fileName":"7.png","contentType":"image/png",)"
            R"("length":%1,"sha256":"%2","downloadUrl":"files/7.png"})";
        service.on(todayPath,
                   [this, metadata = json.arg(image.size()).arg(sha256Hex(image)).toUtf8()](auto &) {
                       return serviceUp ? ScriptedResponse::json(metadata)
                                        : ScriptedResponse::json(R"({"error":"维护中"})", 503);
                   });
        service.on("/files/7.png", ScriptedResponse::bytes(image));
        // What the test starts, the entry's actions included, uses this bus, finds `lumivra` as if installed
        // and, with no NetworkManager on its system bus, has GIO follow the kernel's routes.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().toUtf8());
        qputenv("PATH", QFile::encodeName(QFileInfo(program).path()) + ':' + qgetenv("PATH"));
    }

    // Runs `lumivra` with the arguments to its end: its exit status and what it printed.
    std::pair<int, QString> lumivra(const QStringList &arguments) {
        QProcess &process = bus.start(program, arguments);
        process.waitForFinished(30000);
        return {process.exitCode(), QString(process.readAllStandardOutput()).trimmed()};
    }
    // --status's first line, and its exit status telling whether the last refresh succeeded.
    bool statusReads(const QString &toolTip) {
        return waitUntil([&] {
            const auto [status, text] = lumivra({"--status"});
            return text.section(u'\n', 0, 0) == toolTip && status == (toolTip == dated ? 0 : 1);
        });
    }
    // The alert shows (with no tray, the program's only window); closed as a user closes it.
    bool alertShownAndClosed() {
        QStringList shown;
        if (!waitUntil([&] { return (shown = programWindows()).size() == 1; }))
            return false;
        QProcess::execute("xdotool", {"windowfocus", "--sync", shown[0], "key", "Return"});
        return waitUntil([] { return programWindows().isEmpty(); });
    }
    // As desktops launch an action of the installed entry.
    void launchAction(const char *action) {
        GDesktopAppInfo *entry = g_desktop_app_info_new_from_filename(QFile::encodeName(installedEntry));
        ASSERT_NE(entry, nullptr) << "GIO does not take the entry";
        g_desktop_app_info_launch_action(entry, action, nullptr);
        g_object_unref(entry);
    }
    static int ip(const QString &arguments) { return QProcess::execute("ip", arguments.split(u' ')); }

    TempHome home;
    const QByteArray image =
        readFile(qEnvironmentVariable("LUMIVRA_SOURCE_DIR") + "/src/Wallpaper.Client/Assets/AppIcon.png");
    bool serviceUp = true;
    ScriptedHttpServer service;
    PrivateBus bus;
    const QString installedEntry = home.dataHome() + "/applications/site.lumivra.wallpaper.desktop";
};

TEST_F(RunningCopyTest, desktopEntryCommandLineAndTheNetworksReturnReachTheRunningCopy) {
    ASSERT_EQ(readFile("/proc/self/net/dev").count(':'), 1)
        << "not in a network namespace with loopback alone: run it through scripts/in-network-namespace";
    ASSERT_TRUE(
        writeFile(installedEntry, readFile(qEnvironmentVariable("LUMIVRA_SOURCE_DIR") +
                                           "/src/Wallpaper.Client/app/site.lumivra.wallpaper.desktop")));
    ASSERT_EQ(QProcess::execute("desktop-file-validate", {installedEntry}), 0);
    for (const char *command : {"--status", "--quit"})
        EXPECT_EQ(lumivra({command}).first, 1) << command << " with none running";

    QProcess &running = bus.start(program);
    ASSERT_TRUE(statusReads(dated)) << "the launch refresh";
    const QString picture =
        home.dataHome() + "/LumivraWallpaper/wallpapers/7-" + sha256Hex(image).left(12) + ".png";
    EXPECT_EQ(lumivra({"--status"}), std::pair(0, dated + '\n' + picture));
    ASSERT_EQ(ip("link add v0 type veth peer name v1") | ip("link set v0 up") | ip("link set v1 up"), 0);

    // Whether the service answers, what becomes of the default route, what is done, whether an alert tells
    // the outcome, the tool tip after it and the service's requests by then. A route appearing after a
    // success must leave the service alone: the next row counts.
    const struct {
        const char *what;
        bool serviceUp;
        const char *route;
        std::function<void()> act;
        bool alert;
        QString toolTip;
        int requests;
    } steps[] = {
        {"a route out appearing", true, "add", {}, false, dated, 1},
        {"the entry's 刷新壁纸", true, nullptr, [&] { launchAction("refresh"); }, true, dated, 2},
        {"a second start", true, nullptr, [&] { EXPECT_EQ(lumivra({}).first, 0); }, true, dated, 3},
        {"--refresh, the route and the service gone", false, "del",
         [&] { EXPECT_EQ(lumivra({"--refresh"}).first, 0); }, true, failed, 4},
        {"the route back", true, "add", {}, false, dated, 5},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.what);
        serviceUp = step.serviceUp;
        ASSERT_TRUE(!step.route || ip(QString("route %1 default dev v0").arg(step.route)) == 0);
        if (step.act)
            step.act();
        ASSERT_TRUE(!step.alert || alertShownAndClosed());
        ASSERT_TRUE(statusReads(step.toolTip));
        EXPECT_EQ(service.count(todayPath), step.requests);
    }

    launchAction("launch-at-login-on");
    EXPECT_TRUE(waitUntil([] { return QFileInfo::exists(LaunchAtLoginService::launchAgentURL()); }));
    launchAction("launch-at-login-off");
    EXPECT_TRUE(waitUntil([] { return !QFileInfo::exists(LaunchAtLoginService::launchAgentURL()); }));
    launchAction("quit");
    EXPECT_EQ(fate(running, 20000), "exited with code 0");
}

} // namespace
