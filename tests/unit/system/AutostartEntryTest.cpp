#include "system/AutostartEntry.h"

#include <gtest/gtest.h>

namespace lumivra {
namespace {

QByteArray entryWithExec(const QByteArray &exec) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Lumivra\n"
           "Exec=" +
           exec +
           "\n"
           "Icon=site.lumivra.wallpaper\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n"
           "X-KDE-autostart-after=panel\n"
           "X-LXQt-Need-Tray=true\n";
}

TEST(AutostartEntry, QuotesThePlainPath) {
    EXPECT_EQ(autostartEntry(QStringLiteral("/usr/bin/lumivra")), entryWithExec("\"/usr/bin/lumivra\""));
}

TEST(AutostartEntry, EscapesThePathForBothTheArgumentQuotingAndTheStringLayer) {
    // " ` $ \ are backslash-quoted inside the argument, then every backslash is doubled by the
    // string escaping: a literal backslash becomes four, a literal $ becomes \\$.
    EXPECT_EQ(autostartEntry(QStringLiteral("/opt/My Apps/\"q\"/`x`/$HOME/a\\b/100%/壁纸")),
              entryWithExec("\"/opt/My Apps/\\\\\"q\\\\\"/\\\\`x\\\\`/\\\\$HOME/a\\\\\\\\b/100%%/"
                            "\xe5\xa3\x81\xe7\xba\xb8\""));
    EXPECT_EQ(autostartEntry(QStringLiteral("/tmp/line\nbreak\ttab\rcr/'single' ~;&|<>*?#=()")),
              entryWithExec("\"/tmp/line\\nbreak\\ttab\\rcr/'single' ~;&|<>*?#=()\""));
}

TEST(AutostartEntryDisabled, OurOwnEntryAndArbitraryContentAreOn) {
    EXPECT_FALSE(autostartEntryDisabled(autostartEntry(QStringLiteral("/usr/bin/lumivra"))));
    EXPECT_FALSE(autostartEntryDisabled(""));
    EXPECT_FALSE(autostartEntryDisabled("not a desktop file at all\n\x01\x02"));
    EXPECT_FALSE(autostartEntryDisabled("[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n"));
}

TEST(AutostartEntryDisabled, TheDesktopsOffSwitchesInTheEntryGroupTurnItOff) {
    EXPECT_TRUE(autostartEntryDisabled("[Desktop Entry]\nExec=x\nHidden=true\n"));
    EXPECT_TRUE(autostartEntryDisabled("[Desktop Entry]\r\nX-GNOME-Autostart-enabled=false\r\n"));
    EXPECT_TRUE(autostartEntryDisabled("  [Desktop Entry]\n  Hidden = 1  \n"));
    EXPECT_TRUE(autostartEntryDisabled("[Desktop Entry]\nX-GNOME-Autostart-enabled=0\n"));
    EXPECT_TRUE(autostartEntryDisabled(autostartEntry(QStringLiteral("/usr/bin/lumivra")) + "Hidden=true\n"));
}

TEST(AutostartEntryDisabled, LookalikesDoNotCount) {
    EXPECT_FALSE(autostartEntryDisabled("[Desktop Action x]\nHidden=true\n"));
    EXPECT_FALSE(autostartEntryDisabled("Hidden=true\n[Desktop Entry]\nExec=x\n"));
    EXPECT_FALSE(autostartEntryDisabled("[Desktop Entry]\n#Hidden=true\nHidden[de]=true\nXHidden=true\n"));
    EXPECT_FALSE(autostartEntryDisabled("[Desktop Entry]\nHidden=True\nX-GNOME-Autostart-enabled=no\n"));
    EXPECT_FALSE(autostartEntryDisabled("[Desktop Entry]\nHidden=true\nHidden=false\n"));
    EXPECT_FALSE(autostartEntryDisabled(
        "[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n[Other]\nx=1\n[Desktop Entry]\n"
        "X-GNOME-Autostart-enabled=true\n"));
}

} // namespace
} // namespace lumivra
