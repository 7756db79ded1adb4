#include "HeadlessSway.h"
#include "PrivateBus.h"
#include "ScriptedHttpServer.h"
#include "TempHome.h"
#include "Wait.h"
#include "client/ServerAddressStore.h"
#include "system/LaunchAtLoginService.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

const QString failedTip = "Lumivra · 刷新失败", toggle = "开机自动启动", toggled = toggle + " ✓";

// What became of the program; "exited with code 0" is a clean end.
std::string fate(QProcess &program, int waitMs = 5000) {
    if (!program.waitForFinished(waitMs))
        return "it still runs but does not answer";
    return (program.exitStatus() == QProcess::CrashExit ? "crashed with signal " : "exited with code ") +
           std::to_string(program.exitCode());
}

// The program's mapped X window of either kind: the docked icon is small, its menu is not.
QString programWindow(bool icon) {
    QProcess xdotool;
    xdotool.start("xdotool",
                  {"search", "--onlyvisible", "--classname", "^lumivra$", "getwindowgeometry", "%@"});
    xdotool.waitForFinished(10000);
    static const QRegularExpression window("Window (\\d+)\\n.*\\n *Geometry: (\\d+)x");
    for (const QRegularExpressionMatch &match : window.globalMatch(xdotool.readAllStandardOutput()))
        if ((match.captured(2).toInt() <= 64) == icon)
            return match.captured(1);
    return {};
}

// The panel's side of the StatusNotifier and dbusmenu protocols, spoken to the program's item as a tray
// panel does, on a private bus with the desktop session the program and the panel run in.
class TrayHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The launch refresh fails at once on an address that does not parse: no network is needed.
        ServerAddressStore::applyApplicationIdentity();
        QSettings().setValue(QLatin1String(ServerAddressStore::key), "http://[::1");
    }
    QProcess &startProgram() { return bus.start(qEnvironmentVariable("LUMIVRA_PROGRAM"), {}, session); }

    // A method call's answers; none when `wait` is false, for a panel fires many calls off without waiting.
    QVariantList call(const QString &service, const QString &path, const QString &interface,
                      const QString &method, const QVariantList &arguments, bool wait = true) {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        if (wait)
            return panel.call(message, QDBus::Block, 20000).arguments();
        panel.send(message);
        return {};
    }
    QVariant property(const QString &service, const QString &path, const QString &interface,
                      const QString &name) {
        const QVariantList answer =
            call(service, path, "org.freedesktop.DBus.Properties", "Get", {interface, name});
        return answer.value(0).value<QDBusVariant>().variant();
    }
    QVariant watcher(const QString &name) {
        return property("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                        "org.kde.StatusNotifierWatcher", name);
    }
    QVariant item(const QString &name) { return property(service, path, "org.kde.StatusNotifierItem", name); }
    // The item the watcher lists for the program: the one whose bus name the program's process owns.
    bool findItem(qint64 pid) {
        for (const QString &entry : watcher("RegisteredStatusNotifierItems").toStringList()) {
            service = entry.section(u'/', 0, 0);
            path = entry.contains(u'/') ? '/' + entry.section(u'/', 1) : "/StatusNotifierItem";
            menuPath = item("Menu").value<QDBusObjectPath>().path();
            if (panel.interface()->servicePid(service).value() == pid)
                return true;
        }
        return false;
    }
    // The tool tip's title and text as the panel shows them.
    QString toolTip() {
        const auto tip = item("ToolTip").value<QDBusArgument>();
        QString icon, title, text;
        tip.beginStructure();
        tip >> icon;
        tip.beginArray(); // the icon's pixmaps, not read
        tip.endArray();
        tip >> title >> text;
        return (title + u' ' + text).trimmed();
    }
    QVariantList menu(const QString &method, const QVariantList &arguments, bool wait = true) {
        return call(service, menuPath, "com.canonical.dbusmenu", method, arguments, wait);
    }
    // Opens the menu: AboutToShow without waiting, then the layout the panel draws, a checked row marked
    // " ✓". Empty when the program does not answer.
    QStringList openMenu() {
        menu("AboutToShow", {0}, false);
        const auto layout = menu("GetLayout", {0, -1, QStringList()}).value(1).value<QDBusArgument>();
        QStringList rows;
        int id = 0;
        QVariantMap properties;
        layout.beginStructure();
        layout >> id >> properties;
        layout.beginArray();
        while (!layout.atEnd()) {
            const auto row = qdbus_cast<QDBusVariant>(layout).variant().value<QDBusArgument>();
            row.beginStructure();
            row >> id >> properties;
            const QString label = properties.value("label").toString();
            if (!label.isEmpty()) // not a separator
                rows << label + (properties.value("toggle-state").toInt() == 1 ? " ✓" : "");
            ids[label] = id;
        }
        return rows;
    }
    // A click and the menu's closing, sent without waiting, as a panel does.
    void click(const QString &label) {
        for (const auto &[id, event] : {std::pair{ids.value(label), "clicked"}, std::pair{0, "closed"}})
            menu("Event", {id, event, QVariant::fromValue(QDBusVariant(0)), 0u}, false);
    }

    TempHome home;
    QProcessEnvironment session;
    PrivateBus bus;
    QDBusConnection panel = bus.connect("panel");
    QString service, path, menuPath;
    QMap<QString, int> ids;
};

// Plasma's tray: plasmashell hosts the items kded's watcher collects.
TEST_F(TrayHostTest, plasmaPanelShowsTheItemAndTogglesLaunchAtLoginWithoutHarm) {
    session.insert("XDG_CURRENT_DESKTOP", "KDE");
    bus.start(qEnvironmentVariable("LUMIVRA_KACTIVITYMANAGERD"), {}, session);
    // Plasma 6 (Debian 13) loads its watcher into kded6, Plasma 5 (Debian 12) into kded5.
    const QString kded =
        "org.kde." + QString(QStandardPaths::findExecutable("kded6").isEmpty() ? "kded5" : "kded6");
    bus.start(kded.section(u'.', 2), {}, session);
    ASSERT_TRUE(bus.waitForName(kded));
    ASSERT_TRUE(call(kded, "/kded", kded, "loadModule", {"statusnotifierwatcher"}).value(0).toBool())
        << "kded has no StatusNotifier watcher";
    bus.start("plasmashell", {}, session);
    // Its first start builds Plasma's caches.
    ASSERT_TRUE(waitUntil([&] { return watcher("IsStatusNotifierHostRegistered").toBool(); }, 180s))
        << "plasmashell hosts no tray";

    QProcess &program = startProgram();
    ASSERT_TRUE(waitUntil([&] { return findItem(program.processId()); }, 60s));
    EXPECT_TRUE(waitUntil([&] { return toolTip() == failedTip; })) << toolTip().toStdString();
    EXPECT_EQ(openMenu().join(", ").toStdString(), "刷新壁纸, 开机自动启动, 关于, 退出");
    click(toggle);
    const QString autostart = LaunchAtLoginService::launchAgentURL();
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(autostart); }));
    EXPECT_TRUE(openMenu().contains(toggled));

    // Quick toggles, each while the previous menu's "closed" and the next AboutToShow are still on their way.
    for (int toggles = 0; toggles < 50; ++toggles) {
        ASSERT_FALSE(openMenu().isEmpty())
            << "the program stopped answering after " << toggles << " quick toggles: " << fate(program);
        click(toggle);
    }
    // Qt runs a clicked item's action in a later turn of the program's event loop: the first layout asked
    // for afterwards may come before the last click's effect, the second cannot.
    openMenu();
    ASSERT_TRUE(openMenu().contains(toggled))
        << "fifty toggles end where they began, unless " << fate(program);
    EXPECT_TRUE(QFileInfo::exists(autostart)) << "the menu's mark says otherwise than the autostart file";

    // Quitting from the panel takes the icon off the tray while the panel still holds its menu.
    click("退出");
    EXPECT_EQ(fate(program, 20000), "exited with code 0");
}

// waybar on sway, started after the program as autostart entries often are: only a StatusNotifier host
// can show the icon there.
TEST_F(TrayHostTest, waylandPanelStartedAfterTheProgramShowsItsIcon) {
    HeadlessSway sway;
    ASSERT_FALSE(sway.waylandDisplay().isEmpty()) << qPrintable(sway.log());
    session.insert("WAYLAND_DISPLAY", sway.waylandDisplay());
    session.insert("QT_QPA_PLATFORM", "wayland");
    session.insert("XDG_SESSION_TYPE", "wayland");

    QProcess &program = startProgram();
    QDBusConnectionInterface &names = *panel.interface();
    ASSERT_TRUE(waitUntil([&] {
        const QStringList owned = names.registeredServiceNames();
        return std::any_of(owned.begin(), owned.end(),
                           [&](auto &name) { return names.servicePid(name).value() == program.processId(); });
    })) << "the program never came onto the bus";

    const QString config = sway.sharedFolder() + "/waybar.json", style = sway.sharedFolder() + "/waybar.css";
    for (const auto &[file, text] : {std::pair{config, R"({"height": 26, "modules-right": ["tray"]})"},
                                     std::pair{style, "* { font-size: 12px; }"}}) {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(text) > 0);
        out.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    QProcessEnvironment waybarSession;
    waybarSession.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    sway.startClient("waybar", {"-c", config, "-s", style}, waybarSession);

    ASSERT_TRUE(waitUntil([&] { return findItem(program.processId()); }, 60s)) << qPrintable(sway.log());
    EXPECT_EQ(toolTip(), failedTip) << "the refresh ran while there was no tray yet";
}

// An XEmbed tray (trayer) on a plain X11 desktop, started after the program, while the launch refresh is
// stalled on the network: the icon docks, a plain click opens the menu as in a menu bar, and 退出 ends
// the program without waiting for the refresh.
TEST_F(TrayHostTest, xembedTrayStartedAfterTheProgramDocksAnIconWhoseMenuQuits) {
    ScriptedHttpServer service;
    const QString today = "/api/client/wallpaper/today";
    ScriptedResponse stalled = ScriptedResponse::bytes("{}");
    stalled.stallAfter = 0;
    service.on(today, stalled);
    QSettings().setValue(QLatin1String(ServerAddressStore::key), service.url());
    session.insert("XDG_SESSION_TYPE", "x11");
    session.insert("QT_QPA_PLATFORM", "xcb");

    QProcess &program = startProgram();
    ASSERT_TRUE(waitUntil([&] { return service.count(today) == 1; }));
    bus.start("trayer", {"--edge", "top", "--widthtype", "request", "--height", "24"}, session);
    QString icon;
    ASSERT_TRUE(waitUntil([&] { return !(icon = programWindow(true)).isEmpty(); }, 30s)) << "no icon docked";
    QProcess::execute("xdotool", {"mousemove", "--window", icon, "8", "8", "click", "1"});
    ASSERT_TRUE(waitUntil([] { return !programWindow(false).isEmpty(); })) << "a plain click opens no menu";
    QProcess::execute("xdotool", {"key", "Up", "Return"}); // the last row, 退出
    EXPECT_EQ(fate(program, 20000), "exited with code 0") << "quitting waited for the stalled refresh";
}

} // namespace
