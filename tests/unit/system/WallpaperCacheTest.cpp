#include "system/WallpaperCache.h"

#include "TempHome.h"
#include "system/ClientPaths.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

WallpaperMetadataResponse metadata(qint64 id, const QString &sha256, const QString &fileName,
                                   const QString &contentType) {
    WallpaperMetadataResponse result;
    result.id = id;
    result.sha256 = sha256;
    result.fileName = fileName;
    result.contentType = contentType;
    return result;
}

TEST(WallpaperCache, NamesTheFileInsideTheCacheFolderAndCreatesTheFolder) {
    test::TempHome home;
    const QString path =
        WallpaperCache::path(metadata(42, QStringLiteral("0123456789abcdef0123456789abcdef"),
                                      QStringLiteral("Day.PNG"), QStringLiteral("image/png")));

    EXPECT_EQ(path, home.dataHome() + QStringLiteral("/LumivraWallpaper/wallpapers/42-0123456789ab.png"));
    EXPECT_TRUE(QFileInfo(path).dir().exists());
    EXPECT_FALSE(QFileInfo::exists(path));
}

// <id>-<first 12 characters of the digest as sent>.<extension of the file name, lower-cased, else one
// from the content type>; separators and control characters become "_", everything else is kept.
TEST(WallpaperCache, NameFollowsTheMetadata) {
    test::TempHome home;
    const QString d = QStringLiteral("0123456789abcdef");
    const struct {
        qint64 id;
        QString sha256;
        QString fileName;
        QString contentType;
        QString name;
    } rows[] = {
        {42, d, "Photo.JPG", "image/png", "42-0123456789ab.jpg"},
        {42, d, "wall.tar.gz", "", "42-0123456789ab.gz"},
        {42, d, "a..b", "", "42-0123456789ab.b"},
        {42, d, "images/day.png/", "", "42-0123456789ab.png"},
        {42, d, "dir.d/Bild.ÄÖÜ", "", "42-0123456789ab.äöü"},
        {42, d, "wallpaper", "image/webp", "42-0123456789ab.webp"},
        {42, d, "wallpaper", "IMAGE/PNG", "42-0123456789ab.png"},
        {42, d, "wallpaper", "image/bmp", "42-0123456789ab.bmp"},
        {42, d, "wallpaper", "image/gif", "42-0123456789ab.jpg"},
        {42, d, "wallpaper", " image/png", "42-0123456789ab.jpg"},
        {42, d, "wallpaper", "image/png; charset=binary", "42-0123456789ab.jpg"},
        {42, d, "", "image/png", "42-0123456789ab.png"},
        {42, d, "dir/.webp", "image/bmp", "42-0123456789ab.bmp"},
        {42, d, "day.", "image/webp", "42-0123456789ab.webp"},
        {42, d, "dir.png/day", "image/bmp", "42-0123456789ab.bmp"},
        {42, d, "x.png/..", "image/bmp", "42-0123456789ab.bmp"},
        {7, "ABCDEF0123456789", "a.png", "", "7-ABCDEF012345.png"},
        {7, "abc", "a.png", "", "7-abc.png"},
        {7, "", "a.png", "", "7-.png"},
        {-5, "not hex at all!", "a.png", "", "-5-not hex at a.png"},
        {0, "0123456789a😀xyz", "a.png", "", "0-0123456789a😀.png"},
        {1, QStringLiteral("e\u0301").repeated(13), "a.png", "",
         "1-" + QStringLiteral("e\u0301").repeated(12) + ".png"},
        {std::numeric_limits<qint64>::min(), "abc", "a.png", "", "-9223372036854775808-abc.png"},
        {3, "ab..cd ef~:!", "x.We:b P", "", "3-ab..cd ef~:!.we:b p"},
        {-1, "../../../etc/", "x.\\..\\..\\etc", "", "-1-.._.._.._etc._etc"},
        {-1, "\n\r\t\u007f\u0085", "x.png\u001b[0m", "", "-1-_____.png_[0m"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(QFileInfo(WallpaperCache::path(metadata(row.id, row.sha256, row.fileName, row.contentType)))
                      .fileName(),
                  row.name)
            << row.sha256.toStdString() << " / " << row.fileName.toStdString() << " / "
            << row.contentType.toStdString();
    }
}

} // namespace
} // namespace lumivra
