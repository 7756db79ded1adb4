#include "system/ClientPaths.h"

#include "TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

void writeFile(const QString &path, const QByteArray &content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

TEST(ClientPaths, WallpaperCacheCreatesBothFoldersAndAnyMissingParent) {
    test::TempHome home;
    ASSERT_TRUE(QDir(home.dataHome()).removeRecursively());

    const QString cache = ClientPaths::wallpaperCache();

    EXPECT_EQ(cache, home.dataHome() + QStringLiteral("/LumivraWallpaper/wallpapers"));
    EXPECT_TRUE(QFileInfo(cache).isDir());
}

TEST(ClientPaths, WallpaperCacheLeavesExistingFoldersAndFilesAlone) {
    test::TempHome home;
    const QString cache = ClientPaths::wallpaperCache();
    writeFile(cache + QStringLiteral("/1-abc.png"), "image");

    EXPECT_EQ(ClientPaths::wallpaperCache(), cache);
    EXPECT_EQ(QDir(cache).entryList(QDir::Files), QStringList{QStringLiteral("1-abc.png")});
}

TEST(ClientPaths, WallpaperCacheFollowsTheDataFolderOfTheMomentOfEachRead) {
    test::TempHome first;
    EXPECT_TRUE(ClientPaths::wallpaperCache().startsWith(first.dataHome() + u'/'));
    {
        test::TempHome second;
        EXPECT_TRUE(ClientPaths::wallpaperCache().startsWith(second.dataHome() + u'/'));
    }
    EXPECT_TRUE(ClientPaths::wallpaperCache().startsWith(first.dataHome() + u'/'));
}

TEST(ClientPaths, WallpaperCacheStillAnswersWhenTheFoldersCannotBeCreated) {
    test::TempHome home;
    const QString blocker = home.dataHome() + QStringLiteral("/LumivraWallpaper");
    writeFile(blocker, "not a folder");

    EXPECT_EQ(ClientPaths::wallpaperCache(), blocker + QStringLiteral("/wallpapers"));
    EXPECT_TRUE(QFileInfo(blocker).isFile());
}

} // namespace
} // namespace lumivra
