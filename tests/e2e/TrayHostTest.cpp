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
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
// A desktop's first start builds its caches; later steps are quick.
constexpr auto hostDeadline = 180s;

struct MenuRow {
    int id = 0;
    QString label;
    bool checked = false;
};

// The panel's side of the StatusNotifier protocol, spoken to the program's item as a tray panel does.
class Panel {
public:
    explicit Panel(QDBusConnection bus) : m_bus(std::move(bus)) {}

    QVariant property(const QString &service, const QString &path, const QString &interface,
                      const QString &name) const {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << interface << name;
        const QDBusMessage reply = m_bus.call(get);
        return reply.type() == QDBusMessage::ReplyMessage
                   ? reply.arguments().value(0).value<QDBusVariant>().variant()
                   : QVariant();
    }
    bool hostRegistered() const {
        return property(watcherService, watcherPath, watcherService,
                        QStringLiteral("IsStatusNotifierHostRegistered"))
            .toBool();
    }
    // The item the watcher lists for the program: the one whose bus name the program's process owns.
    bool findItem(qint64 pid) {
        const QStringList items = property(watcherService, watcherPath, watcherService,
                                           QStringLiteral("RegisteredStatusNotifierItems"))
                                      .toStringList();
        for (const QString &item : items) {
            const qsizetype slash = item.indexOf(u'/');
            const QString service = slash < 0 ? item : item.left(slash);
            if (m_bus.interface()->servicePid(service).value() != pid)
                continue;
            m_service = service;
            m_path = slash < 0 ? QStringLiteral("/StatusNotifierItem") : item.mid(slash);
            m_menuPath = property(m_service, m_path, itemInterface, QStringLiteral("Menu"))
                             .value<QDBusObjectPath>()
                             .path();
            return true;
        }
        return false;
    }
    // The tool tip's title and text, as a panel shows them; empty when the item does not answer.
    QString toolTip() const {
        const QVariant value = property(m_service, m_path, itemInterface, QStringLiteral("ToolTip"));
        if (!value.canConvert<QDBusArgument>())
            return {};
        const auto tip = value.value<QDBusArgument>();
        QString iconName, title, text;
        tip.beginStructure();
        tip >> iconName;
        tip.beginArray();
        while (!tip.atEnd()) {
            int width = 0, height = 0;
            QByteArray pixels;
            tip.beginStructure();
            tip >> width >> height >> pixels;
            tip.endStructure();
        }
        tip.endArray();
        tip >> title >> text;
        tip.endStructure();
        return (title + u' ' + text).trimmed();
    }
    // Opens the menu: AboutToShow without waiting, then the layout the panel draws; empty when the program
    // does not answer.
    QList<MenuRow> openMenu() {
        m_bus.asyncCall(menuCall(QStringLiteral("AboutToShow"), {0}));
        const QDBusMessage reply =
            m_bus.call(menuCall(QStringLiteral("GetLayout"), {0, -1, QStringList()}), QDBus::Block, 20000);
        QList<MenuRow> rows;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
            return rows;
        const auto layout = reply.arguments()[1].value<QDBusArgument>();
        int rootId = 0;
        QVariantMap rootProperties;
        layout.beginStructure();
        layout >> rootId >> rootProperties;
        layout.beginArray();
        while (!layout.atEnd()) {
            QDBusVariant child;
            layout >> child;
            const auto row = child.variant().value<QDBusArgument>();
            MenuRow parsed;
            QVariantMap properties;
            row.beginStructure();
            row >> parsed.id >> properties;
            row.endStructure();
            if (properties.value(QStringLiteral("type")).toString() == QLatin1String("separator"))
                continue;
            parsed.label = properties.value(QStringLiteral("label")).toString();
            parsed.checked = properties.value(QStringLiteral("toggle-state")).toInt() == 1;
            rows.append(parsed);
        }
        layout.endArray();
        layout.endStructure();
        return rows;
    }
    // A click and the menu's closing, sent without waiting, as a panel does.
    void click(int id) {
        m_bus.asyncCall(event(id, QStringLiteral("clicked")));
        m_bus.asyncCall(event(0, QStringLiteral("closed")));
    }

private:
    QDBusMessage menuCall(const QString &method, const QVariantList &arguments) const {
        QDBusMessage call = QDBusMessage::createMethodCall(m_service, m_menuPath, menuInterface, method);
        call.setArguments(arguments);
        return call;
    }
    QDBusMessage event(int id, const QString &name) const {
        return menuCall(QStringLiteral("Event"),
                        {id, name, QVariant::fromValue(QDBusVariant(0)), QVariant::fromValue(0u)});
    }

    QDBusConnection m_bus;
    QString m_service, m_path, m_menuPath;
};

// What became of a program that stopped answering.
std::string fate(QProcess &program) {
    if (!program.waitForFinished(5000))
        return "it still runs but does not answer";
    return program.exitStatus() == QProcess::CrashExit
               ? "it crashed with signal " + std::to_string(program.exitCode())
               : "it exited with code " + std::to_string(program.exitCode());
}

MenuRow row(const QList<MenuRow> &rows, const QString &label) {
    for (const MenuRow &candidate : rows)
        if (candidate.label == label)
            return candidate;
    return {};
}

// Output of a short X helper command (xdotool), or empty when it failed.
QString run(const QStringList &command) {
    QProcess process;
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The program's mapped X windows with their widths: the docked icon is small, its menu is not.
QList<QPair<QString, int>> programWindows() {
    QList<QPair<QString, int>> windows;
    const QString ids = run({"xdotool", "search", "--onlyvisible", "--classname", "^lumivra$"});
    for (const QString &id : ids.split(u'\n', Qt::SkipEmptyParts)) {
        const QString geometry = run({"xdotool", "getwindowgeometry", id}).section("Geometry:", 1).trimmed();
        windows.append({id, geometry.section(u'x', 0, 0).toInt()});
    }
    return windows;
}

QString programWindow(bool icon) {
    for (const auto &[id, width] : programWindows())
        if (width > 0 && (width <= 64) == icon)
            return id;
    return {};
}

class TrayHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString runtime = home.path() + QStringLiteral("/run");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        session.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        // The launch refresh fails at once on an address that does not parse: no network is needed.
        ServerAddressStore::applyApplicationIdentity();
        QSettings().setValue(QLatin1String(ServerAddressStore::key), QStringLiteral("http://[::1"));
    }

    QProcess &startProgram() { return bus.start(qEnvironmentVariable("LUMIVRA_PROGRAM"), {}, session); }
    bool programOnBus(qint64 pid) const {
        const QStringList names = panelBus.interface()->registeredServiceNames().value();
        return std::any_of(names.begin(), names.end(), [&](const QString &name) {
            return panelBus.interface()->servicePid(name).value() == pid;
        });
    }

    TempHome home;
    // The desktop session the program and the panel run in.
    QProcessEnvironment session;
    PrivateBus bus;
    QDBusConnection panelBus = bus.connect(QStringLiteral("panel"));
    Panel panel{panelBus};
};

// Plasma's tray: plasmashell hosts the items kded's watcher collects.
TEST_F(TrayHostTest, plasmaPanelShowsTheItemAndTogglesLaunchAtLoginWithoutHarm) {
    session.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));
    bus.start(qEnvironmentVariable("LUMIVRA_KACTIVITYMANAGERD"), {}, session);
    // Plasma 6 (Debian 13) loads its watcher into kded6, Plasma 5 (Debian 12) into kded5.
    const QString kded = QStandardPaths::findExecutable(QStringLiteral("kded6")).isEmpty()
                             ? QStringLiteral("kded5")
                             : QStringLiteral("kded6");
    const QString kdedService = QStringLiteral("org.kde.") + kded;
    bus.start(kded, {}, session);
    ASSERT_TRUE(bus.waitForName(kdedService));
    const QDBusMessage load =
        panelBus.call(QDBusMessage::createMethodCall(kdedService, QStringLiteral("/kded"), kdedService,
                                                     QStringLiteral("loadModule"))
                      << QStringLiteral("statusnotifierwatcher"));
    ASSERT_TRUE(load.arguments().value(0).toBool()) << "kded has no StatusNotifier watcher";
    bus.start(QStringLiteral("plasmashell"), {}, session);
    ASSERT_TRUE(waitUntil([&] { return panel.hostRegistered(); }, hostDeadline))
        << "plasmashell hosts no tray";

    QProcess &program = startProgram();
    ASSERT_TRUE(waitUntil([&] { return panel.findItem(program.processId()); }, 60s));
    EXPECT_TRUE(waitUntil([&] { return panel.toolTip() == QStringLiteral("Lumivra · 刷新失败"); }))
        << panel.toolTip().toStdString();
    QList<MenuRow> rows = panel.openMenu();
    QStringList labels;
    for (const MenuRow &shown : rows)
        labels.append(shown.label);
    EXPECT_EQ(labels, QStringList({QStringLiteral("刷新壁纸"), QStringLiteral("开机自动启动"),
                                   QStringLiteral("关于"), QStringLiteral("退出")}));
    const QString toggle = QStringLiteral("开机自动启动");
    EXPECT_FALSE(row(rows, toggle).checked);

    panel.click(row(rows, toggle).id);
    ASSERT_TRUE(waitUntil([] { return QFileInfo::exists(LaunchAtLoginService::launchAgentURL()); }));
    EXPECT_TRUE(row(panel.openMenu(), toggle).checked);

    // Quick toggles, each while the previous menu's "closed" and the next AboutToShow are still on their way.
    for (int toggles = 0; toggles < 50; ++toggles) {
        const int id = row(panel.openMenu(), toggle).id;
        ASSERT_NE(id, 0) << "the program stopped answering after " << toggles
                         << " quick toggles: " << fate(program);
        panel.click(id);
    }
    // Qt runs a clicked item's action in a later turn of the program's event loop: the first layout asked
    // for afterwards may come before the last click's effect, the second cannot.
    panel.openMenu();
    rows = panel.openMenu();
    ASSERT_FALSE(rows.isEmpty()) << "the program stopped answering: " << fate(program);
    EXPECT_EQ(program.state(), QProcess::Running);
    EXPECT_EQ(row(rows, toggle).checked, QFileInfo::exists(LaunchAtLoginService::launchAgentURL()));
    EXPECT_TRUE(row(rows, toggle).checked) << "fifty toggles end where they began";
    EXPECT_EQ(panel.toolTip(), QStringLiteral("Lumivra · 刷新失败"));

    // Quitting from the panel takes the icon off the tray while the panel still holds its menu.
    panel.click(row(rows, QStringLiteral("退出")).id);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

// waybar on sway, started after the program as autostart entries often are: only a StatusNotifier host
// can show the icon there.
TEST_F(TrayHostTest, waylandPanelStartedAfterTheProgramShowsItsIcon) {
    HeadlessSway sway;
    ASSERT_FALSE(sway.waylandDisplay().isEmpty()) << qPrintable(sway.log());
    session.insert(QStringLiteral("WAYLAND_DISPLAY"), sway.waylandDisplay());
    session.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    session.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));

    QProcess &program = startProgram();
    ASSERT_TRUE(waitUntil([&] { return programOnBus(program.processId()); }));
    EXPECT_FALSE(panel.hostRegistered());

    const QString config = sway.sharedFolder() + QStringLiteral("/waybar.json");
    const QString style = sway.sharedFolder() + QStringLiteral("/waybar.css");
    for (const auto &[file, text] : {std::pair{config, R"({"height": 26, "modules-right": ["tray"]})"},
                                     std::pair{style, "* { font-size: 12px; }"}}) {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
        out.close();
        out.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    QProcessEnvironment panelSession;
    panelSession.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    sway.startClient(QStringLiteral("waybar"), {QStringLiteral("-c"), config, QStringLiteral("-s"), style},
                     panelSession);

    ASSERT_TRUE(waitUntil([&] { return panel.findItem(program.processId()); }, 60s))
        << qPrintable(sway.log());
    EXPECT_EQ(panel.toolTip(), QStringLiteral("Lumivra · 刷新失败"))
        << "the refresh ran while there was no tray yet";
}

// An XEmbed tray (trayer) on a plain X11 desktop, started after the program, while the launch refresh is
// stalled on the network: the icon docks, a plain click opens the menu as in a menu bar, and 退出 ends
// the program without waiting for the refresh.
TEST_F(TrayHostTest, xembedTrayStartedAfterTheProgramDocksAnIconWhoseMenuQuits) {
    ScriptedHttpServer service;
    ScriptedResponse stalled = ScriptedResponse::json("{}");
    stalled.stallAfter = 0;
    const QString today = QStringLiteral("/api/client/wallpaper/today");
    service.on(today, stalled);
    QSettings().setValue(QLatin1String(ServerAddressStore::key), service.url());
    session.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("x11"));
    session.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    QProcess &program = startProgram();
    ASSERT_TRUE(waitUntil([&] { return service.count(today) == 1; }));
    bus.start(QStringLiteral("trayer"),
              {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--widthtype"),
               QStringLiteral("request"), QStringLiteral("--height"), QStringLiteral("24")},
              session);
    QString icon;
    ASSERT_TRUE(waitUntil([&] { return !(icon = programWindow(true)).isEmpty(); }, 30s)) << "no icon docked";

    run({"xdotool", "mousemove", "--window", icon, "8", "8", "click", "1"});
    ASSERT_TRUE(waitUntil([] { return !programWindow(false).isEmpty(); })) << "a plain click opens no menu";
    run({"xdotool", "key", "Up", "Return"}); // the last row, 退出
    ASSERT_TRUE(program.waitForFinished(20000)) << "quitting waited for the stalled refresh";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

} // namespace
