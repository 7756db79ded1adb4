#include "ServerFixture.h"
#include "Wait.h"
#include "client/Errors.h"
#include "client/WallpaperAPIClient.h"

#include <QCryptographicHash>
#include <QFile>
#include <gtest/gtest.h>

using lumivra::WallpaperAPIClient;
using lumivra::WallpaperClientError;
using lumivra::WallpaperMetadataResponse;
using lumivra::test::runTask;

namespace {

const QDate someDay(2026, 7, 1);

// The client of the application against the reference service, both in this process on loopback.
class ServerClientTest : public lumivra::test::ServerFixture {
protected:
    QString baseURL() const { return QStringLiteral("http://127.0.0.1:%1/").arg(port()); }

    QTemporaryDir m_downloads;
};

TEST_F(ServerClientTest, ClientDownloadsAndVerifiesTodaysPicture) {
    const QByteArray content = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(200'000, 'x');
    writeFile(QStringLiteral("sunrise over the bay.png"), content);
    start(someDay);

    const WallpaperAPIClient client(baseURL());
    const WallpaperMetadataResponse today = runTask(client.getTodayWallpaper());
    EXPECT_EQ(today.effectiveDate, "2026-07-01");
    EXPECT_EQ(today.fileName, "sunrise over the bay.png");
    EXPECT_EQ(today.contentType, "image/png");
    EXPECT_EQ(today.length, content.size());
    EXPECT_EQ(today.sha256, QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());

    // Into a folder that does not exist yet, then once more over the file already there.
    const QString destination = m_downloads.filePath(QStringLiteral("cache/wallpapers/today.png"));
    for (int round = 0; round < 2; ++round) {
        runTask(client.downloadWallpaper(today, destination));
        QFile stored(destination);
        ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
        EXPECT_EQ(stored.readAll(), content);
    }
}

TEST_F(ServerClientTest, CachingClientSeesTheNextDaysPicture) {
    writeFile(QStringLiteral("a.png"), "first picture");
    writeFile(QStringLiteral("b.png"), "second picture");
    start(someDay);
    const WallpaperMetadataResponse first = runTask(WallpaperAPIClient(baseURL()).getTodayWallpaper());
    // Asked again the same day, the client revalidates its HTTP cache and still gets the whole record.
    const WallpaperMetadataResponse again = runTask(WallpaperAPIClient(baseURL()).getTodayWallpaper());
    EXPECT_EQ(again.sha256, first.sha256);
    EXPECT_EQ(again.effectiveDate, first.effectiveDate);

    start(someDay.addDays(1));
    const WallpaperMetadataResponse next = runTask(WallpaperAPIClient(baseURL()).getTodayWallpaper());
    EXPECT_EQ(next.effectiveDate, "2026-07-02");
    EXPECT_NE(next.fileName, first.fileName);
    EXPECT_NE(next.sha256, first.sha256);
}

TEST_F(ServerClientTest, ServiceErrorsReachTheUserWordForWord) {
    start(someDay);
    const WallpaperAPIClient client(baseURL());
    try {
        runTask(client.getTodayWallpaper());
        FAIL() << "an empty folder has no wallpaper of the day";
    } catch (const WallpaperClientError &error) {
        EXPECT_EQ(error.kind(), WallpaperClientError::Kind::server);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("壁纸目录中还没有可用的壁纸。"));
    }

    WallpaperMetadataResponse gone;
    gone.downloadUrl = QStringLiteral("files/gone.png");
    gone.sha256 = QString(64, u'0');
    const QString destination = m_downloads.filePath(QStringLiteral("gone.png"));
    try {
        runTask(client.downloadWallpaper(gone, destination));
        FAIL() << "a missing file cannot be downloaded";
    } catch (const WallpaperClientError &error) {
        EXPECT_EQ(error.kind(), WallpaperClientError::Kind::server);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("找不到壁纸文件：gone.png。"));
    }
    EXPECT_FALSE(QFile::exists(destination));
}

} // namespace
