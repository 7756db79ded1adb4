#include "ScriptedHttpServer.h"
#include "Wait.h"
#include "client/Errors.h"
#include "client/Sha256.h"
#include "client/WallpaperAPIClient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumivra;
using test::ScriptedHttpServer;
using test::ScriptedResponse;

namespace {

QByteArray imageBytes(qsizetype size = 200000) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7919) % 251);
    return bytes;
}

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class DownloadWallpaper : public ::testing::Test {
protected:
    WallpaperMetadataResponse metadata(const QString &downloadUrl, const QString &sha256) const {
        WallpaperMetadataResponse record;
        record.id = 3;
        record.fileName = QStringLiteral("a.png");
        record.length = 1; // never compared: the digest alone decides
        record.sha256 = sha256;
        record.downloadUrl = downloadUrl;
        return record;
    }

    void download(const WallpaperMetadataResponse &record, const QString &base = {},
                  WallpaperAPIClient::Timeouts timeouts = {}) {
        WallpaperAPIClient client(base.isEmpty() ? server.url() : base, timeouts);
        test::runTask(client.downloadWallpaper(record, destination));
    }

    template <typename E>
    QString failure(const WallpaperMetadataResponse &record, WallpaperAPIClient::Timeouts timeouts = {}) {
        try {
            download(record, {}, timeouts);
        } catch (const E &error) {
            return error.localizedDescription();
        }
        return QStringLiteral("<no error>");
    }

    // Everything in the destination's folder, hidden files included: no temporary file may stay behind.
    QStringList folderEntries() const {
        return QDir(folder.path() + QStringLiteral("/cache"))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    void givenOldFile() {
        QDir().mkpath(folder.path() + QStringLiteral("/cache"));
        QFile file(destination);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old picture");
    }

    ScriptedHttpServer server;
    QTemporaryDir folder;
    const QString destination = folder.path() + QStringLiteral("/cache/3-abc.png");
    const QByteArray image = imageBytes();
    const QString digest = sha256Hex(image);
};

} // namespace

TEST_F(DownloadWallpaper, StoresTheVerifiedImageCreatingMissingFolders) {
    server.on(QStringLiteral("/base/files/a.png"), ScriptedResponse::bytes(image));
    // Root-relative links land below the base path; the digest is compared ignoring letter case.
    download(metadata(QStringLiteral("/files/a.png"), digest.toUpper()), server.url(QStringLiteral("/base")));
    EXPECT_EQ(readAll(destination), image);
    EXPECT_EQ(folderEntries(), QStringList{"3-abc.png"});
}

TEST_F(DownloadWallpaper, ReplacesAnExistingFileAskingForItUncompressed) {
    givenOldFile();
    ScriptedResponse chunked = ScriptedResponse::bytes(image);
    chunked.chunked = true;
    server.on(QStringLiteral("/files/a.png"), chunked);
    download(metadata(QStringLiteral("files/a.png"), digest));
    EXPECT_EQ(readAll(destination), image);
    EXPECT_EQ(folderEntries(), QStringList{"3-abc.png"});
    EXPECT_EQ(server.requests().value(0).headers.value("accept-encoding"), "identity");
}

TEST_F(DownloadWallpaper, AbsoluteLinksAreFetchedFromTheirOwnHost) {
    ScriptedHttpServer cdn;
    cdn.on(QStringLiteral("/img/a.png"), ScriptedResponse::bytes(image));
    download(metadata(cdn.url(QStringLiteral("/img/a.png")), digest));
    EXPECT_EQ(readAll(destination), image);
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(DownloadWallpaper, AWrongDigestKeepsTheOldFileAndLeavesNoTemporaryFile) {
    givenOldFile();
    server.on(QStringLiteral("/files/a.png"), ScriptedResponse::bytes(image));
    for (const QString &expected : {QStringLiteral(" ") + digest, QString(64, QLatin1Char('0'))})
        EXPECT_EQ(failure<WallpaperClientError>(metadata(QStringLiteral("files/a.png"), expected)),
                  "壁纸文件校验失败，已保留当前桌面。");
    EXPECT_EQ(readAll(destination), "old picture");
    EXPECT_EQ(folderEntries(), QStringList{"3-abc.png"});
}

TEST_F(DownloadWallpaper, AnEmptyBodyIsJustAnotherDigest) {
    server.on(QStringLiteral("/files/a.png"), ScriptedResponse::bytes({}));
    EXPECT_EQ(failure<WallpaperClientError>(metadata(QStringLiteral("files/a.png"), digest)),
              "壁纸文件校验失败，已保留当前桌面。");
    download(metadata(QStringLiteral("files/a.png"), sha256Hex(QByteArray())));
    EXPECT_EQ(readAll(destination), QByteArray());
}

TEST_F(DownloadWallpaper, AnErrorStatusReportsTheBodysErrorAndStoresNothing) {
    server.on(QStringLiteral("/files/a.png"), ScriptedResponse::json(R"({"error": "壁纸已下架"})", 404));
    EXPECT_EQ(failure<WallpaperClientError>(metadata(QStringLiteral("files/a.png"), digest)), "壁纸已下架");
    server.on(QStringLiteral("/files/a.png"), ScriptedResponse::json("Service Unavailable", 503));
    EXPECT_EQ(failure<WallpaperClientError>(metadata(QStringLiteral("files/a.png"), digest)),
              "服务器返回错误：503");
    EXPECT_TRUE(folderEntries().isEmpty());
}

TEST_F(DownloadWallpaper, ACutOrStalledTransferKeepsTheOldFile) {
    givenOldFile();
    ScriptedResponse cut = ScriptedResponse::bytes(image);
    cut.cutAfter = image.size() / 2;
    server.on(QStringLiteral("/files/a.png"), cut);
    EXPECT_NE(failure<TransportError>(metadata(QStringLiteral("files/a.png"), digest)), "<no error>");

    ScriptedResponse stalled = ScriptedResponse::bytes(image);
    stalled.stallAfter = image.size() / 2;
    server.on(QStringLiteral("/files/a.png"), stalled);
    const auto shortWait =
        WallpaperAPIClient::Timeouts{std::chrono::seconds(5), std::chrono::milliseconds(300)};
    EXPECT_EQ(failure<TransportError>(metadata(QStringLiteral("files/a.png"), digest), shortWait),
              "请求超时：服务器在 1 秒内没有响应。");

    EXPECT_EQ(readAll(destination), "old picture");
    EXPECT_EQ(folderEntries(), QStringList{"3-abc.png"});
}

TEST_F(DownloadWallpaper, RefusesLinksThatAreNotWebAddresses) {
    QFile secret(folder.path() + QStringLiteral("/secret.png"));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write(image);
    secret.close();
    for (const QString &link : {QUrl::fromLocalFile(secret.fileName()).toString(),
                                QStringLiteral("data:,hello"), QStringLiteral("qrc:/AppIcon.png")}) {
        EXPECT_TRUE(failure<TransportError>(metadata(link, digest)).startsWith("不支持的地址"))
            << link.toStdString();
    }
    EXPECT_TRUE(folderEntries().isEmpty());
}

TEST_F(DownloadWallpaper, ADestinationThatCannotBeWrittenIsAFileError) {
    // A regular file where the cache folder should be: even root cannot create the folder.
    QFile blocker(folder.path() + QStringLiteral("/cache"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    server.on(QStringLiteral("/files/a.png"), ScriptedResponse::bytes(image));
    EXPECT_TRUE(
        failure<FileError>(metadata(QStringLiteral("files/a.png"), digest)).startsWith("无法创建文件夹"));
    EXPECT_TRUE(server.requests().isEmpty());
}

namespace {

// An image answer no honest service sends, and the failure it must end in.
struct HostileImage {
    std::string name;
    ScriptedResponse response;
    QString failure;
    WallpaperAPIClient::Timeouts timeouts = {};
};

std::vector<HostileImage> hostileImages() {
    ScriptedResponse endless = ScriptedResponse::bytes(imageBytes());
    endless.chunked = true;
    endless.padding = qint64(96) << 20;
    ScriptedResponse bomb = ScriptedResponse::bytes(QByteArray(64 << 20, '\0'));
    bomb.gzip = true;
    ScriptedResponse drip = ScriptedResponse::bytes({});
    drip.padding = 30;
    drip.drip = std::chrono::milliseconds(100);
    WallpaperAPIClient::Timeouts oneSecond;
    oneSecond.downloadDeadline = std::chrono::seconds(1);
    return {
        {"EndlessBody", endless, QStringLiteral("壁纸文件过大：服务器发送的数据超过 64 MiB，已停止下载。")},
        {"GzipBomb", bomb,
         QStringLiteral("服务器以压缩格式（gzip）发送了壁纸文件，而请求的是未压缩的文件。")},
        {"DripBeyondTheDeadline", drip, QStringLiteral("请求超时：服务器在 1 秒内没有传完响应。"), oneSecond},
    };
}

void PrintTo(const HostileImage &image, std::ostream *out) {
    *out << image.name;
}

class HostileImageServer : public DownloadWallpaper, public ::testing::WithParamInterface<HostileImage> {};

} // namespace

TEST_P(HostileImageServer, EndsTheDownloadKeepingTheOldFileAndNoTemporaryFile) {
    givenOldFile();
    server.on(QStringLiteral("/files/a.png"), GetParam().response);
    EXPECT_EQ(failure<TransportError>(metadata(QStringLiteral("files/a.png"), digest), GetParam().timeouts),
              GetParam().failure);
    EXPECT_EQ(readAll(destination), "old picture");
    EXPECT_EQ(folderEntries(), QStringList{"3-abc.png"});
    // Neither the disk nor the socket took in the whole endless body.
    EXPECT_LT(server.bodyBytesSent(), qint64(80) << 20);
}

INSTANTIATE_TEST_SUITE_P(DownloadWallpaper, HostileImageServer, ::testing::ValuesIn(hostileImages()),
                         [](const auto &info) { return info.param.name; });
