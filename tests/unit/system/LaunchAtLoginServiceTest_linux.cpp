#include "TempHome.h"
#include "client/Errors.h"
#include "system/AutostartEntry.h"
#include "system/LaunchAtLoginService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
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

TEST_F(LaunchAtLoginServiceTest, EnablingWritesTheEntryIntoMissingFoldersOverWhateverIsThere) {
    EXPECT_EQ(LaunchAtLoginService::launchAgentURL(), entry);
    ASSERT_TRUE(QDir(home.configHome()).removeRecursively());
    LaunchAtLoginService::setEnabled(false);
    EXPECT_FALSE(QFileInfo::exists(home.configHome())) << "disabling without an entry creates nothing";
    EXPECT_FALSE(LaunchAtLoginService::isEnabled());

    for (int round = 0; round < 2; ++round) {
        LaunchAtLoginService::setEnabled(true);
        EXPECT_EQ(readFile(entry), freshEntry);
        EXPECT_TRUE(LaunchAtLoginService::isEnabled());
        EXPECT_EQ(QDir(autostart).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QFileInfo(entry).fileName()});
        writeFile(entry, "[Desktop Entry]\nExec=/old/place/lumivra\nHidden=true\n");
    }
}

// Whatever stands at the entry's place: whether it counts as on, and that disabling removes it.
TEST_F(LaunchAtLoginServiceTest, DisablingRemovesAnyEntry) {
    const struct {
        const char *what;
        std::function<void()> place;
        bool enabled;
    } rows[] = {
        {"foreign file", [&] { writeFile(entry, "written by someone else"); }, true},
        {"switched off", [&] { writeFile(entry, freshEntry + "Hidden=true\n"); }, false},
        {"GNOME switch off",
         [&] {
             writeFile(entry,
                       QByteArray(freshEntry)
                           .replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"));
         },
         false},
        {"folder", [&] { writeFile(entry + QStringLiteral("/inner/file"), "x"); }, true},
        {"dangling link", [&] { ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/lumivra"), entry)); },
         false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(QDir().mkpath(autostart));
        row.place();
        EXPECT_EQ(LaunchAtLoginService::isEnabled(), row.enabled);
        LaunchAtLoginService::setEnabled(false);
        EXPECT_FALSE(QFileInfo::exists(entry) || QFileInfo(entry).isSymLink());
        EXPECT_FALSE(LaunchAtLoginService::isEnabled());
        EXPECT_TRUE(QFileInfo(autostart).isDir());
    }
}

TEST_F(LaunchAtLoginServiceTest, WhatCannotBeWrittenFailsNamingItAndChangesNothing) {
    writeFile(entry + QStringLiteral("/inner/file"), "x");
    const QString failure = failureOfSetEnabled(true);
    EXPECT_TRUE(failure.contains(entry)) << failure.toStdString();
    EXPECT_TRUE(QFileInfo(entry + QStringLiteral("/inner/file")).isFile());

    ASSERT_TRUE(QDir(autostart).removeRecursively());
    writeFile(autostart, "a file where the folder belongs");
    const QString prefix = QStringLiteral("无法创建文件夹“") + autostart + QStringLiteral("”：");
    const QString blocked = failureOfSetEnabled(true);
    EXPECT_TRUE(blocked.startsWith(prefix) && blocked.size() > prefix.size()) << blocked.toStdString();
    EXPECT_EQ(readFile(autostart), "a file where the folder belongs");
    EXPECT_FALSE(LaunchAtLoginService::isEnabled());
}

} // namespace
} // namespace lumivra
