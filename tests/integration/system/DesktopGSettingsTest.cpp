#include "PrivateBus.h"
#include "TempHome.h"
#include "client/Errors.h"
#include "system/DesktopBackends.h"
#include "system/WallpaperSetter.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace lumivra {
namespace {

// GNOME's own backend: GIO hands the writes to a real dconf-service on a private bus, which keeps them in
// $XDG_CONFIG_HOME/dconf/user. GIO reads the bus address and that folder once per process: one temporary
// home and one bus serve the whole suite.
class DesktopGSettingsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        home = std::make_unique<test::TempHome>();
        bus = new test::PrivateBus();
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8());
        bus->start(qEnvironmentVariable("LUMIVRA_DCONF_SERVICE"));
        ASSERT_TRUE(bus->waitForName(QStringLiteral("ca.desrt.dconf")));
    }
    // GIO ends the process when its session bus goes away, so the bus (and with it dconf-service) is left
    // to stop with the process.
    static void TearDownTestSuite() { home.reset(); }

    // The value as a separate gsettings process reads it from dconf's database.
    static QString storedValue(const char *schema, const char *key) {
        QProcess gsettings;
        gsettings.start(QStringLiteral("gsettings"),
                        {QStringLiteral("get"), QString::fromLatin1(schema), QString::fromLatin1(key)});
        EXPECT_TRUE(gsettings.waitForFinished());
        EXPECT_EQ(gsettings.exitCode(), 0) << gsettings.readAllStandardError().constData();
        return QString::fromUtf8(gsettings.readAllStandardOutput()).trimmed();
    }

    static QString database() { return home->configHome() + QStringLiteral("/dconf/user"); }

    QString picture(const QString &name) const { return home->path() + QLatin1Char('/') + name; }

    const ScreenInfo screen{QStringLiteral("DP-1"), QRect(0, 0, 1920, 1080), 0};
    static std::unique_ptr<test::TempHome> home;
    static test::PrivateBus *bus;
};

std::unique_ptr<test::TempHome> DesktopGSettingsTest::home;
test::PrivateBus *DesktopGSettingsTest::bus = nullptr;

QString quoted(const QString &text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString fileUri(const QString &path) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

// GNOME keeps a file URI for the light and the dark style, Cinnamon one URI, MATE a plain path. Setting
// the same file a second time must succeed too.
TEST_F(DesktopGSettingsTest, EachDesktopStoresThePictureInItsOwnKeys) {
    const struct {
        GSettingsDesktop desktop;
        const char *schema;
        QList<const char *> keys;
        bool uri;
    } desktops[] = {
        {GSettingsDesktop::gnome, "org.gnome.desktop.background", {"picture-uri", "picture-uri-dark"}, true},
        {GSettingsDesktop::cinnamon, "org.cinnamon.desktop.background", {"picture-uri"}, true},
        {GSettingsDesktop::mate, "org.mate.background", {"picture-filename"}, false},
    };
    for (const auto &[desktop, schema, keys, uri] : desktops) {
        const QString file = picture(QStringLiteral("%1 壁纸 1#.jpg").arg(QLatin1String(schema)));
        const auto backend = makeGSettingsBackend(desktop);
        backend->setPicture(file, screen);
        backend->setPicture(file, screen);
        for (const char *key : keys)
            EXPECT_EQ(storedValue(schema, key), quoted(uri ? fileUri(file) : file)) << schema << ' ' << key;
    }
    EXPECT_TRUE(QFile::exists(database()));
}

TEST_F(DesktopGSettingsTest, GnomeSessionSetsEveryScreenThroughTheSetter) {
    qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    const QString file = picture(QStringLiteral("setter.jpg"));
    WallpaperSetter::set(file);
    qunsetenv("XDG_CURRENT_DESKTOP");
    EXPECT_EQ(storedValue("org.gnome.desktop.background", "picture-uri"), quoted(fileUri(file)));
}

} // namespace
} // namespace lumivra
