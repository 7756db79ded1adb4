#include "client/Errors.h"
#include "system/DesktopBackends.h"

#include <gmock/gmock.h>

namespace lumivra {
namespace {

// This program runs with XDG_DATA_DIRS naming an empty folder: GIO finds no schema at all, as on a system
// without the desktop's schemas. GIO would abort the process if asked for the schema regardless.
TEST(DesktopGSettingsMissingSchemaTest, MissingSchemaIsAnErrorNotAnAbort) {
    EXPECT_THAT(
        [] {
            makeGSettingsBackend(GSettingsDesktop::mate)
                ->setPicture(QStringLiteral("/tmp/a.jpg"), {QStringLiteral("DP-1"), {0, 0, 1920, 1080}, 0});
        },
        testing::ThrowsMessage<DesktopError>(
            testing::StrEq("找不到桌面的壁纸设置（org.mate.background），无法设置壁纸。")));
}

} // namespace
} // namespace lumivra
