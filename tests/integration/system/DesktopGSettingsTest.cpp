#include "PrivateBus.h"
#include "TempHome.h"
#include "system/WallpaperSetter.h"

#include <QUrl>
#include <gtest/gtest.h>
#include <tuple>

namespace lumivra {
namespace {

// Each desktop's own backend, chosen from the announced desktop: GIO hands the writes to a real
// dconf-service on a private bus, which keeps them in $XDG_CONFIG_HOME/dconf, where a separate gsettings
// reads them. GNOME keeps a file URI for the light and the dark style, Cinnamon one URI, MATE a plain path.
TEST(DesktopGSettingsTest, EachDesktopStoresThePictureInItsOwnKeys) {
    const test::TempHome home;
    // GIO reads the bus address once per process and ends the process when that bus goes away, so the bus
    // (and with it dconf-service) is left to stop with the process.
    static auto *const bus = new test::PrivateBus();
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8());
    bus->start(qEnvironmentVariable("LUMIVRA_DCONF_SERVICE"));
    ASSERT_TRUE(bus->waitForName("ca.desrt.dconf"));
    const QString file = home.path() + "/壁纸 1#.jpg";
    const QString uri = "'" + QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) + "'";
    for (const auto &[desktop, schema, key, value] :
         {std::tuple{"ubuntu:GNOME", "org.gnome.desktop.background", "picture-uri", uri},
          {"GNOME", "org.gnome.desktop.background", "picture-uri-dark", uri},
          {"X-Cinnamon", "org.cinnamon.desktop.background", "picture-uri", uri},
          {"MATE", "org.mate.background", "picture-filename", "'" + file + "'"}}) {
        qputenv("XDG_CURRENT_DESKTOP", desktop);
        WallpaperSetter::set(file);
        QProcess &gsettings = bus->start("gsettings", {"get", schema, key});
        gsettings.waitForFinished();
        EXPECT_EQ(gsettings.readAllStandardOutput().trimmed(), value) << desktop << ' ' << key;
    }
}

} // namespace
} // namespace lumivra
