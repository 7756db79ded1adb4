#include "TempHome.h"
#include "client/Errors.h"
#include "system/AutostartEntry.h"
#include "system/LaunchAtLoginService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

void writeFile(const QString &path, const QByteArray &content) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString failureOfSetEnabled(bool enabled) {
    try {
        LaunchAtLoginService::setEnabled(enabled);
    } catch (const FileError &error) {
        return error.localizedDescription();
    }
    return {};
}

class LaunchAtLoginServiceTest : public ::testing::Test {
protected:
    test::TempHome home;
    const QString autostart = home.configHome() + QStringLiteral("/autostart");
    const QString entry = autostart + QStringLiteral("/site.lumivra.wallpaper.desktop");
    const QByteArray freshEntry = autostartEntry(QCoreApplication::applicationFilePath());
};

TEST_F(LaunchAtLoginServiceTest, TheEntryIsAnXdgAutostartFileOfTheConfigFolder) {
    EXPECT_EQ(LaunchAtLoginService::launchAgentURL(), entry);
    EXPECT_TRUE(QFileInfo(QCoreApplication::applicationFilePath()).isAbsolute());
    EXPECT_FALSE(LaunchAtLoginService::isEnabled());
}

TEST_F(LaunchAtLoginServiceTest, EnablingCreatesTheMissingFoldersAndTheEntry) {
    ASSERT_TRUE(QDir(home.configHome()).removeRecursively());

    LaunchAtLoginService::setEnabled(true);

    EXPECT_EQ(readFile(entry), freshEntry);
    EXPECT_TRUE(LaunchAtLoginService::isEnabled());
    EXPECT_EQ(QDir(autostart).entryList(QDir::Files | QDir::Hidden),
              QStringList{QFileInfo(entry).fileName()});
}

TEST_F(LaunchAtLoginServiceTest, EnablingAgainReplacesWhateverEntryIsThere) {
    writeFile(entry, "[Desktop Entry]\nExec=/old/place/lumivra\nHidden=true\n");
    EXPECT_FALSE(LaunchAtLoginService::isEnabled());

    LaunchAtLoginService::setEnabled(true);

    EXPECT_EQ(readFile(entry), freshEntry);
    EXPECT_TRUE(LaunchAtLoginService::isEnabled());
}

TEST_F(LaunchAtLoginServiceTest, DisablingWithoutAnEntrySucceedsAndCreatesNothing) {
    ASSERT_TRUE(QDir(home.configHome()).removeRecursively());

    LaunchAtLoginService::setEnabled(false);

    EXPECT_FALSE(QFileInfo::exists(home.configHome()));
    EXPECT_FALSE(LaunchAtLoginService::isEnabled());
}

TEST_F(LaunchAtLoginServiceTest, AnyEntryCountsAsOnAndDisablingRemovesIt) {
    writeFile(entry, "written by someone else");
    EXPECT_TRUE(LaunchAtLoginService::isEnabled());

    LaunchAtLoginService::setEnabled(false);

    EXPECT_FALSE(QFileInfo::exists(entry));
    EXPECT_FALSE(LaunchAtLoginService::isEnabled());
    EXPECT_TRUE(QFileInfo(autostart).isDir());
}

TEST_F(LaunchAtLoginServiceTest, AnEntryTheDesktopSwitchedOffCountsAsOff) {
    writeFile(entry, freshEntry + "Hidden=true\n");
    EXPECT_FALSE(LaunchAtLoginService::isEnabled());

    writeFile(
        entry,
        QByteArray(freshEntry).replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"));
    EXPECT_FALSE(LaunchAtLoginService::isEnabled());

    LaunchAtLoginService::setEnabled(false);
    EXPECT_FALSE(QFileInfo::exists(entry));
}

TEST_F(LaunchAtLoginServiceTest, AFolderInPlaceOfTheEntryCountsAsOnAndIsRemovedWhenDisabling) {
    writeFile(entry + QStringLiteral("/inner/file"), "x");
    EXPECT_TRUE(LaunchAtLoginService::isEnabled());

    const QString failure = failureOfSetEnabled(true);
    EXPECT_TRUE(failure.contains(entry)) << failure.toStdString();
    EXPECT_TRUE(QFileInfo(entry + QStringLiteral("/inner/file")).isFile());

    LaunchAtLoginService::setEnabled(false);
    EXPECT_FALSE(QFileInfo::exists(entry));
}

TEST_F(LaunchAtLoginServiceTest, AnAutostartFolderThatCannotBeCreatedFailsAndChangesNothing) {
    writeFile(autostart, "a file where the folder belongs");

    const QString failure = failureOfSetEnabled(true);

    EXPECT_TRUE(failure.startsWith(QStringLiteral("无法创建文件夹“") + autostart + QStringLiteral("”：")))
        << failure.toStdString();
    EXPECT_GT(failure.size(), QStringLiteral("无法创建文件夹“”：").size() + autostart.size());
    EXPECT_EQ(readFile(autostart), "a file where the folder belongs");
    EXPECT_FALSE(LaunchAtLoginService::isEnabled());
    EXPECT_EQ(QDir(home.configHome()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("autostart")});
}

} // namespace
} // namespace lumivra
