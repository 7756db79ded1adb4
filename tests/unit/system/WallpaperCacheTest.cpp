#include "system/WallpaperCache.h"

#include "TempHome.h"
#include "system/ClientPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace lumivra {
namespace {

constexpr auto digest = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

WallpaperMetadataResponse metadata(qint64 id, const QString &sha256, const QString &fileName,
                                   const QString &contentType) {
    WallpaperMetadataResponse result;
    result.id = id;
    result.sha256 = sha256;
    result.fileName = fileName;
    result.contentType = contentType;
    return result;
}

QString cachedName(qint64 id, const QString &sha256, const QString &fileName, const QString &contentType) {
    return QFileInfo(WallpaperCache::path(metadata(id, sha256, fileName, contentType))).fileName();
}

QString cachedName(const QString &fileName, const QString &contentType) {
    return cachedName(42, QString::fromLatin1(digest), fileName, contentType);
}

class WallpaperCacheTest : public ::testing::Test {
protected:
    test::TempHome home;
};

TEST_F(WallpaperCacheTest, NamesTheFileInsideTheCacheFolderAndCreatesTheFolder) {
    const QString path = WallpaperCache::path(
        metadata(42, QString::fromLatin1(digest), QStringLiteral("Day.PNG"), QStringLiteral("image/png")));

    EXPECT_EQ(path, home.dataHome() + QStringLiteral("/LumivraWallpaper/wallpapers/42-0123456789ab.png"));
    EXPECT_TRUE(QFileInfo(path).dir().exists());
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(WallpaperCacheTest, ExtensionComesFromTheFileNameLowerCased) {
    EXPECT_EQ(cachedName(QStringLiteral("Photo.JPG"), QStringLiteral("image/png")), u"42-0123456789ab.jpg");
    EXPECT_EQ(cachedName(QStringLiteral("wall.tar.gz"), QString()), u"42-0123456789ab.gz");
    EXPECT_EQ(cachedName(QStringLiteral("day.png"), QStringLiteral("image/jpeg")), u"42-0123456789ab.png");
    EXPECT_EQ(cachedName(QStringLiteral("dir.d/Bild.ÄÖÜ"), QString()), u"42-0123456789ab.äöü");
}

TEST_F(WallpaperCacheTest, WithoutAnExtensionTheContentTypeDecides) {
    const struct {
        const char *fileName;
        const char *contentType;
        const char *extension;
    } rows[] = {
        {"wallpaper", "image/webp", "webp"},
        {"wallpaper", "IMAGE/PNG", "png"},
        {"wallpaper", "image/bmp", "bmp"},
        {"wallpaper", "image/jpeg", "jpg"},
        {"wallpaper", "image/gif", "jpg"},
        {"wallpaper", "", "jpg"},
        {"wallpaper", " image/png", "jpg"},
        {"wallpaper", "image/png; charset=binary", "jpg"},
        {"", "image/png", "png"},
        {".webp", "image/bmp", "bmp"},
        {"day.", "image/webp", "webp"},
        {"dir.png/day", "image/bmp", "bmp"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(cachedName(QString::fromUtf8(row.fileName), QString::fromUtf8(row.contentType)),
                  QStringLiteral("42-0123456789ab.") + QString::fromUtf8(row.extension))
            << row.fileName << " / " << row.contentType;
    }
}

TEST_F(WallpaperCacheTest, DigestPrefixIsTakenAsSent) {
    const QString png = QStringLiteral("a.png");
    EXPECT_EQ(cachedName(7, QStringLiteral("ABCDEF0123456789"), png, {}), u"7-ABCDEF012345.png");
    EXPECT_EQ(cachedName(7, QStringLiteral("abc"), png, {}), u"7-abc.png");
    EXPECT_EQ(cachedName(7, QStringLiteral("0123456789ab"), png, {}), u"7-0123456789ab.png");
    EXPECT_EQ(cachedName(7, QString(), png, {}), u"7-.png");
    EXPECT_EQ(cachedName(7, QStringLiteral("not hex at all!"), png, {}), u"7-not hex at a.png");
}

TEST_F(WallpaperCacheTest, DigestPrefixCountsCharactersNotCodeUnits) {
    const QString png = QStringLiteral("a.png");
    EXPECT_EQ(cachedName(1, QStringLiteral("0123456789a😀xyz"), png, {}), u"1-0123456789a😀.png");
    EXPECT_EQ(
        cachedName(1,
                   QStringLiteral("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"
                                  "e\u0301e\u0301e\u0301"),
                   png, {}),
        QStringLiteral("1-") + QStringLiteral("e\u0301").repeated(12) + QStringLiteral(".png"));
}

TEST_F(WallpaperCacheTest, IdIsWrittenInDecimalWithItsSign) {
    EXPECT_EQ(cachedName(-5, QStringLiteral("abc"), QStringLiteral("a.png"), {}), u"-5-abc.png");
    EXPECT_EQ(cachedName(0, QStringLiteral("abc"), QStringLiteral("a.png"), {}), u"0-abc.png");
    EXPECT_EQ(
        cachedName(std::numeric_limits<qint64>::min(), QStringLiteral("abc"), QStringLiteral("a.png"), {}),
        u"-9223372036854775808-abc.png");
}

TEST_F(WallpaperCacheTest, HostileMetadataStillNamesAFileDirectlyInsideTheCache) {
    const QChar nul(u'\0');
    const QStringList digests = {
        QStringLiteral("../../../etc/"),
        QStringLiteral("/"),
        QStringLiteral(".."),
        QStringLiteral("."),
        QStringLiteral("..\\..\\x"),
        QStringLiteral("a") + nul + QStringLiteral("/../b"),
        QStringLiteral("\n\r\t\u007f\u0085"),
        QString(),
    };
    const QStringList fileNames = {
        QStringLiteral("x./../.."),
        QStringLiteral("x.png/.."),
        QStringLiteral("x.\\..\\..\\etc"),
        QStringLiteral("x.p") + nul + QStringLiteral("ng"),
        QStringLiteral("x.\n"),
        QStringLiteral("../../.ssh/authorized_keys"),
        QStringLiteral("x./"),
        QStringLiteral("/"),
        QStringLiteral("x.."),
        QStringLiteral("x.png\u001b[0m"),
    };
    const QString cache = ClientPaths::wallpaperCache();
    for (const QString &sha256 : digests) {
        for (const QString &fileName : fileNames) {
            const QString path = WallpaperCache::path(metadata(-1, sha256, fileName, {}));
            const QFileInfo info(path);
            const QString name = info.fileName();
            SCOPED_TRACE(path.toStdString());

            EXPECT_EQ(info.absolutePath(), cache);
            EXPECT_TRUE(name.startsWith(u"-1-"));
            EXPECT_FALSE(name.contains(u'/') || name.contains(u'\\'));
            EXPECT_TRUE(std::none_of(name.begin(), name.end(),
                                     [](QChar c) { return c.category() == QChar::Other_Control; }));

            // The file system agrees: the file lands in the cache folder and nowhere else.
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << file.errorString().toStdString();
            file.close();
            EXPECT_EQ(QDir(cache).entryList(QDir::Files | QDir::Hidden), QStringList{name});
            ASSERT_TRUE(file.remove());
        }
    }
    EXPECT_EQ(QDir(home.dataHome()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("LumivraWallpaper")});
}

TEST_F(WallpaperCacheTest, OrdinaryNamesAreKeptExactly) {
    EXPECT_EQ(cachedName(3, QStringLiteral("ab..cd ef~:!"), QStringLiteral("x.We:b P"), {}),
              u"3-ab..cd ef~:!.we:b p");
}

} // namespace
} // namespace lumivra
