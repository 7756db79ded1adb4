#include "system/AutostartEntry.h"

#include <gtest/gtest.h>

namespace lumivra {
namespace {

// The Exec value is read twice: desktop-file string escapes are undone, then the quoted argument is
// unquoted (" ` $ \ backslash-quoted) and "%%" becomes "%". So a literal backslash is written as four.
TEST(AutostartEntry, ExecQuotesThePathForBothReadingLayers) {
    const struct {
        QString path;
        QByteArray exec;
    } rows[] = {
        {"/usr/bin/lumivra", R"("/usr/bin/lumivra")"},
        {"/opt/My Apps/\"q\"/`x`/$HOME/a\\b/100%/壁纸",
         R"("/opt/My Apps/\\"q\\"/\\`x\\`/\\$HOME/a\\\\b/100%%/)"
         "\xe5\xa3\x81\xe7\xba\xb8\""},
        {"/tmp/line\nbreak\ttab\rcr/'single' ~;&|<>*?#=()",
         R"x("/tmp/line\nbreak\ttab\rcr/'single' ~;&|<>*?#=()")x"},
    };
    for (const auto &row : rows) {
        const QByteArray entry = autostartEntry(row.path);
        EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
        EXPECT_TRUE(entry.contains("\nExec=" + row.exec + "\n")) << entry.data();
        EXPECT_FALSE(autostartEntryDisabled(entry));
    }
}

// Read as GLib's key-file parser reads the entry: only the [Desktop Entry] group, later keys win, and
// "1"/"0" are booleans too.
TEST(AutostartEntry, DisabledOnlyByTheDesktopsOffSwitches) {
    const struct {
        QByteArray content;
        bool disabled;
    } rows[] = {
        {"", false},
        {"not a desktop file at all\n\x01\x02", false},
        {"[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n", false},
        {"[Desktop Entry]\nExec=x\nHidden=true\n", true},
        {"[Desktop Entry]\r\nX-GNOME-Autostart-enabled=false\r\n", true},
        {"  [Desktop Entry]\n  Hidden = 1  \n", true},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=0\n", true},
        {autostartEntry(QStringLiteral("/usr/bin/lumivra")) + "Hidden=true\n", true},
        {"[Desktop Action x]\nHidden=true\n", false},
        {"Hidden=true\n[Desktop Entry]\nExec=x\n", false},
        {"[Desktop Entry]\n#Hidden=true\nHidden[de]=true\nXHidden=true\n", false},
        {"[Desktop Entry]\nHidden=True\nX-GNOME-Autostart-enabled=no\n", false},
        {"[Desktop Entry]\nHidden=true\nHidden=false\n", false},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n[Other]\nx=1\n[Desktop Entry]\n"
         "X-GNOME-Autostart-enabled=true\n",
         false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(autostartEntryDisabled(row.content), row.disabled) << row.content.data();
}

} // namespace
} // namespace lumivra
