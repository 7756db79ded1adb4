#include "system/PathExtension.h"

#include <gtest/gtest.h>

namespace lumivra {
namespace {

TEST(PathExtension, TakesTheTextAfterTheLastDotOfTheLastComponent) {
    EXPECT_EQ(pathExtension(QStringLiteral("photo.JPG")), u"JPG");
    EXPECT_EQ(pathExtension(QStringLiteral("archive.tar.gz")), u"gz");
    EXPECT_EQ(pathExtension(QStringLiteral("a..b")), u"b");
    EXPECT_EQ(pathExtension(QStringLiteral("/srv/images/day.png")), u"png");
    EXPECT_EQ(pathExtension(QStringLiteral("images/.hidden.webp")), u"webp");
    EXPECT_EQ(pathExtension(QStringLiteral("images/day.png/")), u"png");
    EXPECT_EQ(pathExtension(QStringLiteral("/Applications/Lumivra.app")), u"app");
}

TEST(PathExtension, IsEmptyWhenTheLastComponentHasNone) {
    for (const char *path : {"", "/", "plain", "dir.d/plain", ".bashrc", "dir/.png", "name.", "a.b.", ".",
                             "..", "x/..", "x.png/.."}) {
        EXPECT_EQ(pathExtension(QString::fromUtf8(path)), QString()) << path;
    }
}

} // namespace
} // namespace lumivra
