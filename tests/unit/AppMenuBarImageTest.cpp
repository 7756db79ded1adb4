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

// Runs a test from inside a scratch folder laid out like a checkout seen from two levels down.
class AppSourceTreeIconTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(workingDir()));
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(workingDir()));
    }
    void TearDown() override { QDir::setCurrent(previous); }

    QString workingDir() const { return root.filePath(QStringLiteral("a/b")); }
    QString checkoutPath() const {
        return workingDir() + QStringLiteral("/src/Wallpaper.Client/Assets/AppIcon.png");
    }
    QString parentPath() const {
        return root.filePath(QStringLiteral("a/Wallpaper.Client/Assets/AppIcon.png"));
    }
    QString grandParentPath() const {
        return root.filePath(QStringLiteral("Wallpaper.Client/Assets/AppIcon.png"));
    }

    QTemporaryDir root;
    QString previous;
};

// The nearest checkout wins; a file there that is no image is passed over.
TEST_F(AppSourceTreeIconTest, nearestReadableIconWins) {
    EXPECT_TRUE(loadSourceTreeAppIcon().isNull());
    ASSERT_TRUE(writeImage(grandParentPath(), Qt::blue));
    EXPECT_EQ(loadSourceTreeAppIcon().pixelColor(0, 0), QColor(Qt::blue));
    ASSERT_TRUE(writeImage(parentPath(), Qt::green));
    EXPECT_EQ(loadSourceTreeAppIcon().pixelColor(0, 0), QColor(Qt::green));
    ASSERT_TRUE(writeImage(checkoutPath(), Qt::red));
    EXPECT_EQ(loadSourceTreeAppIcon().pixelColor(0, 0), QColor(Qt::red));
    QFile broken(checkoutPath());
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    EXPECT_EQ(loadSourceTreeAppIcon().pixelColor(0, 0), QColor(Qt::green));
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
