#include "app/MenuBarImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumivra;

namespace {

bool writeImage(const QString &path, QColor colour) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(colour);
    return QDir().mkpath(QFileInfo(path).path()) && image.save(path, "PNG");
}

// Seen from two levels down in a checkout, the nearest icon that is an image wins.
TEST(AppMenuBarImageTest, nearestSourceTreeIconWins) {
    QTemporaryDir root;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("a/b"))));
    ASSERT_TRUE(QDir::setCurrent(root.filePath(QStringLiteral("a/b"))));
    const struct {
        const char *path;
        QColor colour;
    } icons[] = {{"Wallpaper.Client/Assets/AppIcon.png", Qt::blue},
                 {"a/Wallpaper.Client/Assets/AppIcon.png", Qt::green},
                 {"a/b/src/Wallpaper.Client/Assets/AppIcon.png", Qt::red}};
    EXPECT_TRUE(loadSourceTreeAppIcon().isNull());
    for (const auto &icon : icons) {
        ASSERT_TRUE(writeImage(root.filePath(QString::fromLatin1(icon.path)), icon.colour));
        EXPECT_EQ(loadSourceTreeAppIcon().pixelColor(0, 0), icon.colour);
    }
    QFile broken(root.filePath(QString::fromLatin1(icons[2].path)));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    EXPECT_EQ(loadSourceTreeAppIcon().pixelColor(0, 0), QColor(Qt::green));
    QDir::setCurrent(previous);
}

TEST(AppMenuBarImageTest, compiledInIconComesFirstInItsOwnColours) {
    const QImage named = loadNamedAppIcon();
    ASSERT_FALSE(named.isNull());
    EXPECT_EQ(named.size(), QSize(256, 256));

    const QIcon image = makeMenuBarImage();
    EXPECT_FALSE(image.isMask());
    EXPECT_EQ(image.pixmap(menuBarImageSize).size(), menuBarImageSize) << "scaled down to the menu bar";
}

TEST(AppMenuBarImageTest, installedIconIsFoundBesideTheProgram) {
    // The test program stands in for the installed one: <bin>/../share/lumivra/AppIcon.png.
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/lumivra/AppIcon.png");
    ASSERT_FALSE(QFile::exists(installed));
    ASSERT_TRUE(writeImage(installed, Qt::magenta));
    const QImage bundled = loadBundledAppIcon();
    QFile::remove(installed);
    QDir().rmpath(QFileInfo(installed).path());
    EXPECT_EQ(bundled.pixelColor(0, 0), QColor(Qt::magenta));
}

TEST(AppMenuBarImageTest, drawnGlyphIsAnEighteenPointMaskWithALetterOnIt) {
    const QIcon glyph = drawMenuBarGlyph();
    EXPECT_TRUE(glyph.isMask());
    const QImage pixels = glyph.pixmap(menuBarImageSize).toImage();
    ASSERT_EQ(pixels.size(), menuBarImageSize);
    int inked = 0;
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            inked += qAlpha(pixels.pixel(x, y)) > 0;
    EXPECT_GT(inked, 10);
    EXPECT_EQ(qAlpha(pixels.pixel(0, 0)), 0) << "the letter sits inside its margin";
}

} // namespace
