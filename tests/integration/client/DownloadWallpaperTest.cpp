#include "ClientFailure.h"
#include "ScriptedHttpServer.h"
#include "Wait.h"
#include "client/Errors.h"
#include "client/Sha256.h"
#include "client/WallpaperAPIClient.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
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

    // What the download ends in, as "kind: description".
    QString failure(const WallpaperMetadataResponse &record, WallpaperAPIClient::Timeouts timeouts = {}) {
        return test::failureOf([&] { download(record, {}, timeouts); });
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

TEST_F(DownloadWallpaper, AnEmptyBodyIsJustAnotherDigest) {
    server.on(QStringLiteral("/files/a.png"), ScriptedResponse::bytes({}));
    download(metadata(QStringLiteral("files/a.png"), sha256Hex(QByteArray())));
    EXPECT_EQ(readAll(destination), QByteArray());
}

TEST_F(DownloadWallpaper, ADestinationThatCannotBeWrittenIsAFileError) {
    // A regular file where the cache folder should be: even root cannot create the folder.
    QFile blocker(folder.path() + QStringLiteral("/cache"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    server.on(QStringLiteral("/files/a.png"), ScriptedResponse::bytes(image));
    EXPECT_TRUE(failure(metadata(QStringLiteral("files/a.png"), digest)).startsWith("file: 无法创建文件夹"));
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(DownloadWallpaper, RefusesLinksThatAreNotWebAddressesKeepingTheOldFile) {
    givenOldFile();
    for (const QString &link : {QUrl::fromLocalFile(destination).toString(), QStringLiteral("data:,hello"),
                                QStringLiteral("qrc:/AppIcon.png")})
        EXPECT_TRUE(failure(metadata(link, digest)).startsWith("transport: 不支持的地址"))
            << link.toStdString();
    EXPECT_EQ(readAll(destination), "old picture");
}

namespace {

// An image answer the download must fail on, and the failure ("kind: description" pattern) it must end in.
struct FailingImage {
    std::string name;
    ScriptedResponse response;
    QString failure;
    QString sha256 = {}; // empty: the image's own digest
    WallpaperAPIClient::Timeouts timeouts = {};
};

std::vector<FailingImage> failingImages() {
    const QString mismatch = QStringLiteral("service: 壁纸文件校验失败，已保留当前桌面。");
    const ScriptedResponse honest = ScriptedResponse::bytes(imageBytes());
    ScriptedResponse cut = honest;
    cut.cutAfter = honest.body.size() / 2;
    ScriptedResponse stalled = honest;
    stalled.stallAfter = honest.body.size() / 2;
    ScriptedResponse endless = honest;
    endless.chunked = true;
    endless.padding = qint64(96) << 20;
    ScriptedResponse bomb = ScriptedResponse::bytes(QByteArray(64 << 20, '\0'));
    bomb.gzip = true;
    ScriptedResponse drip = ScriptedResponse::bytes({});
    drip.padding = 30;
    drip.drip = std::chrono::milliseconds(100);
    const WallpaperAPIClient::Timeouts shortIdle{std::chrono::seconds(5), std::chrono::milliseconds(300)};
    WallpaperAPIClient::Timeouts oneSecond;
    oneSecond.downloadDeadline = std::chrono::seconds(1);
    return {
        {"BlankBeforeTheDigest", honest, mismatch, QLatin1Char(' ') + sha256Hex(honest.body)},
        {"OtherDigest", honest, mismatch, QString(64, QLatin1Char('0'))},
        {"EmptyBody", ScriptedResponse::bytes({}), mismatch},
        {"ErrorInTheServersWords", ScriptedResponse::json(R"({"error": "壁纸已下架"})", 404),
         QStringLiteral("service: 壁纸已下架")},
        {"ErrorWithoutWords", ScriptedResponse::json("Service Unavailable", 503),
         QStringLiteral("service: 服务器返回错误：503")},
        {"CutTransfer", cut, QStringLiteral("transport: .+")},
        {"StalledTransfer",
         stalled,
         QStringLiteral("transport: 请求超时：服务器在 1 秒内没有响应。"),
         {},
         shortIdle},
        {"EndlessBody", endless,
         QStringLiteral("transport: 壁纸文件过大：服务器发送的数据超过 64 MiB，已停止下载。")},
        {"GzipBomb", bomb,
         QStringLiteral("transport: 服务器以压缩格式（gzip）发送了壁纸文件，而请求的是未压缩的文件。")},
        {"DripBeyondTheDeadline",
         drip,
         QStringLiteral("transport: 请求超时：服务器在 1 秒内没有传完响应。"),
         {},
         oneSecond},
    };
}

void PrintTo(const FailingImage &image, std::ostream *out) {
    *out << image.name;
}

class FailingImageServer : public DownloadWallpaper, public ::testing::WithParamInterface<FailingImage> {};

} // namespace

TEST_P(FailingImageServer, EndsTheDownloadKeepingTheOldFileAndNoTemporaryFile) {
    givenOldFile();
    server.on(QStringLiteral("/files/a.png"), GetParam().response);
    const QString sha256 = GetParam().sha256.isEmpty() ? digest : GetParam().sha256;
    const QString message = failure(metadata(QStringLiteral("files/a.png"), sha256), GetParam().timeouts);
    EXPECT_TRUE(
        QRegularExpression(QRegularExpression::anchoredPattern(GetParam().failure)).match(message).hasMatch())
        << message.toStdString();
    EXPECT_EQ(readAll(destination), "old picture");
    EXPECT_EQ(folderEntries(), QStringList{"3-abc.png"});
    // Neither the disk nor the socket took in the whole endless body.
    EXPECT_LT(server.bodyBytesSent(), qint64(80) << 20);
}

INSTANTIATE_TEST_SUITE_P(DownloadWallpaper, FailingImageServer, ::testing::ValuesIn(failingImages()),
                         [](const auto &info) { return info.param.name; });
