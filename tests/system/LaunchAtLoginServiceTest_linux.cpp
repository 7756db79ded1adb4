#include "Files.h"
#include "system/AutostartEntry.h"
#include "system/LaunchAtLoginService.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace Qt::StringLiterals;

// Real files in the test run's temporary home: whatever stands where the entry belongs, whether the session
// starts the program from it, and that disabling removes it. The Exec value is read twice: desktop-file
// string escapes are undone, then the quoted argument is unquoted (" ` $ \ backslash-quoted) and "%%"
// becomes "%". So a literal backslash is written as four.
TEST(LaunchAtLoginService, EnablingWritesTheEntryQuotedAndDisablingRemovesWhateverIsThere) {
    const QByteArray quoted = autostartEntry(u"/opt/My Apps/\"q\"/`x`/$HOME/a\\b/100%/壁纸\nHidden=true"_s);
    EXPECT_TRUE(quoted.contains(R"(
Exec="/opt/My Apps/\\"q\\"/\\`x\\`/\\$HOME/a\\\\b/100%%/壁纸\nHidden=true"
)")) << quoted.data();
    const QString entry = LaunchAtLoginService::launchAgentURL();
    EXPECT_EQ(entry,
              qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart/site.lumivra.wallpaper.desktop"_s);
    LaunchAtLoginService::setEnabled(true);
    EXPECT_EQ(test::readFile(entry), autostartEntry(QCoreApplication::applicationFilePath()));
    // Content of the file at the entry's place (null: a link to nowhere), and whether it counts as on.
    const std::pair<QByteArray, bool> rows[] = {
        {"written by someone else", true},
        {"[Desktop Entry]\nHidden=true\n", false},
        {"[Desktop Entry]\n  Hidden = 1  \n", false},
        {"[Desktop Entry]\r\nX-GNOME-Autostart-enabled=false\r\n", false},
        {"[Desktop Action x]\nHidden=true\n[Desktop Entry]\n#Hidden=true\nHidden[de]=true\n", true},
        {{}, false},
    };
    for (const auto &[content, enabled] : rows) {
        SCOPED_TRACE(content.toStdString());
        ASSERT_TRUE(content.isNull() ? QFile::link(u"/nonexistent/lumivra"_s, entry)
                                     : test::writeFile(entry, content));
        EXPECT_EQ(LaunchAtLoginService::isEnabled(), enabled);
        LaunchAtLoginService::setEnabled(false);
        EXPECT_FALSE(QFileInfo::exists(entry) || QFileInfo(entry).isSymLink());
    }
}
