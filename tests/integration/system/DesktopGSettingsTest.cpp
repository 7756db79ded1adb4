#include "PrivateBus.h"
#include "TempHome.h"
#include "system/WallpaperSetter.h"

#include <QProcess>
#include <QUrl>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

// The value as a separate gsettings process reads it from dconf's database.
QString stored(const char *schema, const char *key) {
    QProcess gsettings;
    gsettings.start(QStringLiteral("gsettings"),
                    {QStringLiteral("get"), QLatin1String(schema), QLatin1String(key)});
    EXPECT_TRUE(gsettings.waitForFinished());
    EXPECT_EQ(gsettings.exitCode(), 0) << gsettings.readAllStandardError().constData();
    return QString::fromUtf8(gsettings.readAllStandardOutput()).trimmed();
}

// Each desktop's own backend, chosen from the announced desktop: GIO hands the writes to a real
// dconf-service on a private bus, which keeps them in $XDG_CONFIG_HOME/dconf. GNOME keeps a file URI for the
// light and the dark style, Cinnamon one URI, MATE a plain path.
TEST(DesktopGSettingsTest, EachDesktopStoresThePictureInItsOwnKeys) {
    const test::TempHome home;
    // GIO reads the bus address once per process and ends the process when that bus goes away, so the bus
    // (and with it dconf-service) is left to stop with the process.
    auto *bus = new test::PrivateBus();
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8());
    bus->start(qEnvironmentVariable("LUMIVRA_DCONF_SERVICE"));
    ASSERT_TRUE(bus->waitForName(QStringLiteral("ca.desrt.dconf")));
    const struct {
        const char *desktop;
        const char *schema;
        QList<const char *> keys;
        bool uri;
    } rows[] = {
        {"ubuntu:GNOME", "org.gnome.desktop.background", {"picture-uri", "picture-uri-dark"}, true},
        {"X-Cinnamon", "org.cinnamon.desktop.background", {"picture-uri"}, true},
        {"MATE", "org.mate.background", {"picture-filename"}, false},
    };
    for (const auto &[desktop, schema, keys, uri] : rows) {
        qputenv("XDG_CURRENT_DESKTOP", desktop);
        const QString file = home.path() + QStringLiteral("/%1 壁纸 1#.jpg").arg(QLatin1String(schema));
        // Setting the same file a second time must succeed too.
        WallpaperSetter::set(file);
        WallpaperSetter::set(file);
        const QString value = uri ? QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) : file;
        for (const char *key : keys)
            EXPECT_EQ(stored(schema, key), QLatin1Char('\'') + value + QLatin1Char('\''))
                << desktop << ' ' << key;
    }
}

} // namespace
} // namespace lumivra
