#include "system/ClientPaths.h"

#include "TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

// The cache folder is looked up and created on each read, in the data folder of that moment; a folder
// that cannot be created still gives the path, so the download that needs it reports why.
TEST(ClientPaths, WallpaperCacheIsCreatedInTheDataFolderOfTheMoment) {
    test::TempHome first;
    ASSERT_TRUE(QDir(first.dataHome()).removeRecursively());
    EXPECT_EQ(ClientPaths::wallpaperCache(),
              first.dataHome() + QStringLiteral("/LumivraWallpaper/wallpapers"));
    EXPECT_TRUE(QFileInfo(ClientPaths::wallpaperCache()).isDir());
    {
        test::TempHome second;
        QFile blocker(second.dataHome() + QStringLiteral("/LumivraWallpaper"));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        EXPECT_EQ(ClientPaths::wallpaperCache(), blocker.fileName() + QStringLiteral("/wallpapers"));
        EXPECT_TRUE(QFileInfo(blocker.fileName()).isFile());
    }
    EXPECT_TRUE(ClientPaths::wallpaperCache().startsWith(first.dataHome() + u'/'));
}

} // namespace
} // namespace lumivra
