#include "client/Errors.h"
#include "system/DesktopBackends.h"

#include <gtest/gtest.h>

namespace lumivra {
namespace {

// This program runs with XDG_DATA_DIRS naming an empty folder: GIO finds no schema at all, as on a system
// without the desktop's schemas. GIO would abort the process if asked for the schema regardless.
TEST(DesktopGSettingsMissingSchemaTest, MissingSchemaIsAnErrorNotAnAbort) {
    const ScreenInfo screen{QStringLiteral("DP-1"), QRect(0, 0, 1920, 1080), 0};
    for (const auto &[desktop, schema] :
         {std::pair{GSettingsDesktop::gnome, "org.gnome.desktop.background"},
          std::pair{GSettingsDesktop::cinnamon, "org.cinnamon.desktop.background"},
          std::pair{GSettingsDesktop::mate, "org.mate.background"}}) {
        try {
            makeGSettingsBackend(desktop)->setPicture(QStringLiteral("/tmp/a.jpg"), screen);
            FAIL() << "a missing schema must fail";
        } catch (const DesktopError &error) {
            EXPECT_EQ(
                error.localizedDescription(),
                QStringLiteral("找不到桌面的壁纸设置（%1），无法设置壁纸。").arg(QLatin1String(schema)));
        }
    }
}

} // namespace
} // namespace lumivra
