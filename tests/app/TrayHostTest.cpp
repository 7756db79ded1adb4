#include "HeadlessSway.h"
#include "PrivateBus.h"
#include "Program.h"
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
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

const QString failedTip = "Lumivra · 刷新失败", toggle = "开机自动启动", toggled = toggle + " ✓";

// A D-Bus object's bus name, path and the interface it is spoken to through.
struct Object {
    QString service, path, interface;
};

// The panel's side of the StatusNotifier and dbusmenu protocols, spoken to the program's item as a tray
// panel does, on a private bus with the desktop session the program and the panel run in.
class TrayHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The launch refresh fails at once on an address that does not parse: no network is needed.
        ServerAddressStore::applyApplicationIdentity();
        QSettings().setValue(QLatin1String(ServerAddressStore::key), "http://[::1");
    }

    // A method call's answers; none for QDBus::NoBlock, as a panel fires many calls off without waiting.
    QVariantList call(const Object &o, const QString &method, const QVariantList &arguments,
                      QDBus::CallMode mode = QDBus::Block) {
        QDBusMessage message = QDBusMessage::createMethodCall(o.service, o.path, o.interface, method);
        message.setArguments(arguments);
        return panel.call(message, mode, 20000).arguments();
    }
    QVariant property(const Object &object, const QString &name) {
        const Object properties{object.service, object.path, "org.freedesktop.DBus.Properties"};
        return call(properties, "Get", {object.interface, name}).value(0).value<QDBusVariant>().variant();
    }
    // The item the watcher lists for the program: the one whose bus name the program's process owns.
    bool findItem(qint64 pid) {
        for (const QString &entry : property(watcher, "RegisteredStatusNotifierItems").toStringList()) {
            item = {entry.section(u'/', 0, 0), entry.mid(entry.indexOf(u'/')), "org.kde.StatusNotifierItem"};
            menu = {item.service, property(item, "Menu").value<QDBusObjectPath>().path(),
                    "com.canonical.dbusmenu"};
            if (panel.interface()->servicePid(item.service).value() == pid)
                return true;
        }
        return false;
    }
    // The tool tip's title and text as the panel shows them.
    QString toolTip() {
        const auto tip = property(item, "ToolTip").value<QDBusArgument>();
        QString icon, title, text;
        tip.beginStructure();
        tip >> icon;
        tip.beginArray(); // the icon's pixmaps, not read
        tip.endArray();
        tip >> title >> text;
        return (title + u' ' + text).trimmed();
    }
    // Opens the menu: AboutToShow without waiting, then the layout the panel draws, a checked row marked
    // " ✓". Empty when the program does not answer.
    QStringList openMenu() {
        call(menu, "AboutToShow", {0}, QDBus::NoBlock);
        const auto layout = call(menu, "GetLayout", {0, -1, QStringList()}).value(1).value<QDBusArgument>();
        QStringList rows;
        int id = 0;
        QVariantMap properties;
        QList<QDBusVariant> children;
        layout.beginStructure();
        layout >> id >> properties >> children;
        for (const QDBusVariant &child : children) {
            const auto row = child.variant().value<QDBusArgument>();
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
            call(menu, "Event", {id, event, QVariant::fromValue(QDBusVariant(0)), 0u}, QDBus::NoBlock);
    }

    TempHome home;
    QProcessEnvironment session;
    PrivateBus bus;
    QDBusConnection panel = bus.connect("panel");
    const Object watcher{"org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                         "org.kde.StatusNotifierWatcher"};
    Object item, menu;
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
    ASSERT_TRUE(call({kded, "/kded", kded}, "loadModule", {"statusnotifierwatcher"}).value(0).toBool())
        << "kded has no StatusNotifier watcher";
    bus.start("plasmashell", {}, session);
    // Its first start builds Plasma's caches.
    ASSERT_TRUE(waitUntil([&] { return property(watcher, "IsStatusNotifierHostRegistered").toBool(); }, 180s))
        << "plasmashell hosts no tray";

    QProcess &program = bus.start(qEnvironmentVariable("LUMIVRA_PROGRAM"), {}, session);
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

    // The program's connection is the only one to come onto the bus; waybar, with the tray in its stock
    // configuration, starts once it is there.
    const int peers = panel.interface()->registeredServiceNames().value().size();
    QProcess &program = bus.start(qEnvironmentVariable("LUMIVRA_PROGRAM"), {}, session);
    ASSERT_TRUE(
        waitUntil([&] { return panel.interface()->registeredServiceNames().value().size() > peers; }));
    session.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    sway.startClient("waybar", {}, session);

    ASSERT_TRUE(waitUntil([&] { return findItem(program.processId()); }, 60s)) << qPrintable(sway.log());
    EXPECT_EQ(toolTip(), failedTip) << "the refresh ran while there was no tray yet";
}

// An XEmbed tray (trayer) on a plain X11 desktop, started after the program, while the launch refresh is
// stalled on the network: the icon docks, a plain click opens the menu as in a menu bar, and 退出 ends
// the program without waiting for the refresh.
TEST_F(TrayHostTest, xembedTrayStartedAfterTheProgramDocksAnIconWhoseMenuQuits) {
    ScriptedHttpServer service;
    service.on("/api/client/wallpaper/today", ScriptedResponse{.body = "{}", .stallAfter = 0});
    QSettings().setValue(QLatin1String(ServerAddressStore::key), service.url());
    session.insert("XDG_SESSION_TYPE", "x11");
    session.insert("QT_QPA_PLATFORM", "xcb");

    QProcess &program = bus.start(qEnvironmentVariable("LUMIVRA_PROGRAM"), {}, session);
    ASSERT_TRUE(waitUntil([&] { return service.requests().size() == 1; }));
    bus.start("trayer", {"--edge", "top", "--widthtype", "request", "--height", "24"}, session);
    QStringList windows;
    ASSERT_TRUE(waitUntil([&] { return (windows = programWindows()).size() == 1; }, 30s)) << "no icon docked";
    QProcess::execute("xdotool", {"mousemove", "--window", windows[0], "8", "8", "click", "1"});
    ASSERT_TRUE(waitUntil([] { return programWindows().size() == 2; })) << "a plain click opens no menu";
    QProcess::execute("xdotool", {"key", "Up", "Return"}); // the last row, 退出
    EXPECT_EQ(fate(program, 20000), "exited with code 0") << "quitting waited for the stalled refresh";
}

} // namespace
