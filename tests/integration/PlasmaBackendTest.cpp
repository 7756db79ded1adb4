#include "PrivateBus.h"
#include "TempHome.h"
#include "Wait.h"
#include "client/Errors.h"
#include "system/DesktopPeer_linux.h"

#include <QDBusMessage>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QUrl>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

using Groups = QMap<QString, QMap<QString, QString>>;

// Plasma's layout file, group by group ("[Containments][1][Wallpaper]..." as written), keys as written.
Groups plasmaLayout(const TempHome &home) {
    QFile file(home.configHome() + QStringLiteral("/plasma-org.kde.plasma.desktop-appletsrc"));
    Groups groups;
    if (!file.open(QIODevice::ReadOnly))
        return groups;
    QString group;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QLatin1Char('[')))
            group = line;
        else if (const qsizetype equals = line.indexOf(QLatin1Char('=')); equals > 0)
            groups[group][line.left(equals)] = line.mid(equals + 1);
    }
    return groups;
}

// The desktops of the layout (panels belong to no activity) and the picture each one names.
QMap<QString, QString> desktopImages(const Groups &layout) {
    QMap<QString, QString> images;
    for (auto it = layout.begin(); it != layout.end(); ++it) {
        if (it.key().count(QLatin1Char('[')) == 2 && it.key().startsWith(QLatin1String("[Containments]")) &&
            !it->value(QStringLiteral("activityId")).isEmpty())
            images[it.key()] =
                layout.value(it.key() + QStringLiteral("[Wallpaper][org.kde.image][General]")).value("Image");
    }
    return images;
}

// Against the real plasmashell of a KDE session on the test's X display, with its activity manager, on a
// private bus and with its configuration in a temporary HOME.
class PlasmaBackendTest : public ::testing::Test {
protected:
    void startPlasma() {
        bus.start(qEnvironmentVariable("LUMIVRA_KACTIVITYMANAGERD"));
        bus.start(QStringLiteral("plasmashell"), {QStringLiteral("--no-respawn")});
        ASSERT_TRUE(bus.waitForName(QStringLiteral("org.kde.plasmashell")));
    }

    // Plasma owns its name before it has loaded its desktops.
    bool desktopsLoaded() {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
            QStringLiteral("org.kde.PlasmaShell"), QStringLiteral("evaluateScript"));
        call.setArguments({QStringLiteral("print(desktops().length)")});
        const QDBusMessage reply = client.call(call);
        return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
               reply.arguments().first().toString().toInt() > 0;
    }

    QString setPicture(const QString &file, const ScreenInfo &screen) {
        try {
            // A shell still starting on a busy machine may take long to answer; the wait is not under test.
            makePlasmaBackend(client, 60s)->setPicture(file, screen);
        } catch (const DesktopError &error) {
            return error.localizedDescription();
        }
        return {};
    }

    TempHome home;
    PrivateBus bus;
    QDBusConnection client = bus.connect(QStringLiteral("plasma-client"));
    const ScreenInfo screen{QStringLiteral("screen"), {0, 0, 1280, 800}, 0};
};

TEST_F(PlasmaBackendTest, PlasmaSavesThePictureForEveryDesktopOfTheScreen) {
    ASSERT_NO_FATAL_FAILURE(startPlasma());
    ASSERT_TRUE(waitUntil([&] { return desktopsLoaded(); }));
    // Quotes, "%2" and a try at ending the script's string must all stay in the file name.
    const QString file = home.path() + QStringLiteral("/it's \"a\" %2\"); throw 1; (\" 壁纸.png");
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(file, "PNG"));

    EXPECT_EQ(setPicture(file, screen), QString());

    const QString url = QUrl::fromLocalFile(file).toString();
    EXPECT_TRUE(waitUntil([&] {
        const QMap<QString, QString> images = desktopImages(plasmaLayout(home));
        return !images.isEmpty() &&
               std::all_of(images.begin(), images.end(), [&](const QString &image) { return image == url; });
    })) << "Plasma's layout names: "
        << plasmaLayout(home).keys().join(QLatin1Char(' ')).toStdString();
}

struct Refusal {
    const char *name;
    bool running;
    QByteArray kdeglobals; // the administrator's restrictions, if any
    ScreenInfo screen;
    QString expected;
};

class PlasmaRefusalTest : public PlasmaBackendTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(PlasmaRefusalTest, EndsAsAFailureThatSaysWhy) {
    if (!GetParam().kdeglobals.isEmpty()) {
        QFile kdeglobals(home.configHome() + QStringLiteral("/kdeglobals"));
        ASSERT_TRUE(kdeglobals.open(QIODevice::WriteOnly));
        kdeglobals.write(GetParam().kdeglobals);
    }
    if (GetParam().running) {
        ASSERT_NO_FATAL_FAILURE(startPlasma());
        if (GetParam().kdeglobals.isEmpty()) {
            ASSERT_TRUE(waitUntil([&] { return desktopsLoaded(); }));
        }
    }

    const QString error = setPicture(home.path() + QStringLiteral("/a.png"), GetParam().screen);

    EXPECT_TRUE(error.contains(GetParam().expected)) << error.toStdString();
    EXPECT_TRUE(desktopImages(plasmaLayout(home)).values().join(QString()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Plasma, PlasmaRefusalTest,
    ::testing::Values(
        Refusal{"NotRunning",
                false,
                {},
                {QStringLiteral("eDP-1"), {0, 0, 1280, 800}, 0},
                QStringLiteral("无法连接 KDE Plasma 桌面（org.kde.plasmashell）")},
        Refusal{
            "ScriptingForbidden",
            true,
            QByteArrayLiteral("[KDE Action Restrictions]\nplasma-desktop/scripting_console=false\n"),
            {QStringLiteral("eDP-1"), {0, 0, 1280, 800}, 0},
            QStringLiteral("KDE Plasma 桌面拒绝设置壁纸：Administrative policies prevent script execution")},
        Refusal{"NoSuchScreen",
                true,
                {},
                {QStringLiteral("DP-9"), {5000, 0, 800, 600}, 4},
                QStringLiteral("KDE Plasma 中没有与屏幕 DP-9（800×600，位置 5000,0）对应的桌面")}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
