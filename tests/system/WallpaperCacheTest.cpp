#include "system/WallpaperCache.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace Qt::StringLiterals;

// <id>-<first 12 characters of the digest as sent>.<extension of the file name, lower-cased, else one from
// the content type, also for one too long to be a picture's>; separators and control characters become "_"
// so the name stays inside the folder.
TEST(WallpaperCache, NameFollowsTheMetadata) {
    // Digest, file name and content type as announced; the name of the cached file.
    const std::array<QString, 4> rows[] = {
        {u"0123456789abcdef"_s, u"Photo.JPG"_s, u"image/png"_s, u"42-0123456789ab.jpg"_s},
        {u"0123456789a😀xyz"_s, u"wallpaper"_s, u"IMAGE/WEBP"_s, u"42-0123456789a😀.webp"_s},
        {u"../../../etc/"_s, u"x.\\..\\etc"_s, u"image/png"_s, u"42-.._.._.._etc._etc"_s},
        {u"\n\r\t\u007f\u0085"_s, u"x.png\u001b[0m"_s, {}, u"42-_____.png_[0m"_s},
        {u"0123456789abcdef"_s, u"x."_s + QString(250, u'é'), u"image/bmp"_s, u"42-0123456789ab.bmp"_s},
    };
    for (const auto &[sha256, fileName, contentType, name] : rows) {
        // Id, date, file name, content type, length, digest, address.
        const WallpaperMetadataResponse metadata{42, {}, fileName, contentType, 0, sha256, {}};
        EXPECT_EQ(QFileInfo(WallpaperCache::path(metadata)).fileName(), name) << sha256.toStdString();
    }
}
