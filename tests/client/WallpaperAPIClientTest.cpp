#include "client/WallpaperAPIClient.h"

#include "Files.h"
#include "ScriptedHttpServer.h"
#include "Wait.h"
#include "client/Errors.h"
#include "client/NetworkAccess.h"
#include "client/ServerAddressStore.h"
#include "client/Sha256.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QTemporaryDir>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace std::chrono_literals;
using test::ScriptedResponse;

namespace {

const QString todayPath = "/api/client/wallpaper/today";
const QByteArray metadataJson = R"({"id": 7, "effectiveDate": "2026-12-06", "fileName": "a.png",
  "contentType": "image/png", "length": 3, "sha256": "ab", "downloadUrl": "files/a.png"})";
const QByteArray image = QByteArray("lumivra ").repeated(25000);
const QString digest = "74B389F40EF672B2011EBEE9D5327ED8152013FAE28F385E285A708447018B29";

// What a call ends in; transport failures are told apart from the others, which their texts tell apart.
std::string failureOf(const std::function<void()> &call) {
    try {
        call();
    } catch (const Error &error) {
        return (dynamic_cast<const TransportError *>(&error) ? "transport: " : "") +
               std::string(error.what());
    }
    return "<no error>";
}

WallpaperMetadataResponse today(const QString &base, WallpaperAPIClient::Timeouts timeouts = {},
                                WallpaperAPIClient::Clock clock = &QDateTime::currentDateTimeUtc) {
    return test::runTask(WallpaperAPIClient(base, timeouts, std::move(clock)).getTodayWallpaper());
}

// Drips come ten times as often as the wait for the next byte allows.
const WallpaperAPIClient::Timeouts quick{500ms, 500ms, 1s, 1s};

// Every test starts with an earlier picture where the image is downloaded to.
class WallpaperClient : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::writeFile(destination, "old picture")); }

    // Announced with the image's digest in capitals: letter case must not matter.
    void download(const QString &link, const QString &base, WallpaperAPIClient::Timeouts timeouts = {},
                  qint64 length = 0) {
        const WallpaperMetadataResponse record{3, {}, {}, {}, length, digest, link};
        test::runTask(WallpaperAPIClient(base, timeouts).downloadWallpaper(record, destination));
    }

    // The folder's files, hidden ones included so that no temporary file goes unseen, and the
    // picture's content, checked against the digest of the file as the refresh reads it.
    QByteArray left() const {
        const QByteArray content = test::readFile(destination);
        EXPECT_EQ(sha256HexOfFile(destination), sha256Hex(content));
        return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).join(u' ').toUtf8() + ": " + content;
    }

    test::ScriptedHttpServer server;
    QTemporaryDir folder;
    const QString destination = folder.filePath("3-abc.png");
};

// The address as the settings give back one written by hand with a comma (split into a list), is tidied and
// written back. Root-relative links land below its path, absolute ones on their own host
// whatever the base; both requests follow redirects and take chunked bodies, only the today request
// compressed ones. A long-lived answer reached through a redirect is the target's, not today's: the next
// refresh asks again. Nothing is asked of addresses outside the web, nor over plain http for an https
// service.
TEST_F(WallpaperClient, RequestsGoBelowTheBasePathThroughRedirectsButNeverOutsideTheWeb) {
    ServerAddressStore::applyApplicationIdentity();
    QSettings().setValue(ServerAddressStore::key, QStringList{server.url("/p"), "q/"});
    const QString base = ServerAddressStore::load();
    EXPECT_EQ(QSettings().value(ServerAddressStore::key).toString(), server.url("/p,q"));
    server.on("/p,q" + todayPath, ScriptedResponse::redirect("/moved"));
    const QList<QPair<QByteArray, QByteArray>> year{{"Cache-Control", "max-age=31536000"}};
    server.on("/moved",
              ScriptedResponse{.headers = year, .body = metadataJson, .chunked = true, .gzip = true});
    server.on("/p,q/files/a.png", ScriptedResponse::redirect("/img/a.png"));
    server.on("/img/a.png", ScriptedResponse{.body = image, .chunked = true});
    EXPECT_EQ(today(base).fileName + today(base).fileName, "a.pnga.png");
    // A finished transfer is whole, even when its deadline passes before the download goes on (in a slot of
    // finished running a loop of its own, an alert say); it goes on from the event loop, not inside finished.
    const auto late =
        QObject::connect(&sharedNetworkAccessManager(), &QNetworkAccessManager::finished, &server, [&] {
            const QDeadlineTimer passed(2 * quick.downloadDeadline);
            test::waitUntil([&] { return passed.hasExpired(); });
            QMetaObject::invokeMethod(
                &server, [&] { EXPECT_EQ(left(), "3-abc.png: old picture"); }, Qt::QueuedConnection);
        });
    EXPECT_EQ(failureOf([&] { download("/files/a.png", base, quick); }), "<no error>");
    QObject::disconnect(late);
    download(server.url("/img/a.png"), "http://127.0.0.1:1");
    EXPECT_THAT(failureOf([&] { download(server.url("/img/a.png"), "https://127.0.0.1:1"); }),
                ::testing::StartsWith("transport: 已拒绝从 https 转到不加密的 http 地址"));
    EXPECT_EQ(QList({server.count("/p,q" + todayPath), server.count("/moved"), server.count("/img/a.png")}),
              QList({2, 1, 2}));
    EXPECT_EQ(server.requests().last().headers.value("accept-encoding"), "identity");
    for (const QString address : {"file:///etc", "qrc:", "data:,hello"}) {
        const std::string refused = "transport: 不支持的地址：“" + (address + todayPath).toStdString() +
                                    "”。只能通过 http 或 https 获取壁纸。";
        EXPECT_EQ(failureOf([&] { today(address); }), refused);
        EXPECT_EQ(failureOf([&] { download(address + todayPath, base); }), refused);
    }
    EXPECT_EQ(left(), "3-abc.png: " + image);
}

// The caching headers of the first answer and how far the clock then moves; how the next two requests end,
// while the server answers 304 with the given headers, then 503 (refusing to confirm any tag but "v1"); and
// how many requests reached it. A stored answer stands in for the server while fresh by its Date and Age and
// our clock; after a 304 only if the request asked to confirm it and the 304 speaks of it; never for an
// error.
TEST_F(WallpaperClient, TodayHonoursTheServersCachingHeaders) {
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    const QPair<QByteArray, QByteArray> sent{"Date", "Mon, 07 Dec 2026 00:00:00 GMT"}, tag{"ETag", "\"v1\""},
        hour{"Cache-Control", "max-age=3600"}, expires{"Expires", "Mon, 07 Dec 2026 01:00:00 GMT"};
    const std::string fresh = "1: <no error>, <no error>", stale = "3: 服务器返回错误：304, 维护中";
    const struct {
        Headers first;
        std::chrono::hours shift;
        Headers confirmation;
        std::string outcome;
    } rows[] = {
        {{hour}, 0h, {}, fresh},
        {{hour, tag}, 2h, {tag}, "2: <no error>, <no error>"},
        {{sent, expires}, 0h, {}, fresh},
        {{sent, expires, {"Age", "7200"}}, 0h, {}, stale},
        // Stale when its lifetime ran out (a negative Age adds nothing), or when the clock went back.
        {{hour, {"Age", "-7200"}}, 2h, {}, stale},
        {{hour}, -8h, {}, stale},
        {{{"Cache-Control", "max-age=0, max-age=3600"}}, 0h, {}, stale},
        {{{"Cache-Control", "max-age=soon"}, sent, expires}, 0h, {}, stale},
        {{{"Cache-Control", "max-age=9223372036854775807"}, {"Age", "-1"}}, 0h, {}, fresh},
        {{sent, {"Expires", "0"}, {"Last-Modified", sent.second}}, 0h, {}, "3: <no error>, 维护中"},
        {{{"Cache-Control", "max-age=3600, no-store"}}, 0h, {}, stale},
        {{{"Cache-Control", "no-cache, max-age=3600"}, tag}, 0h, {tag}, "3: <no error>, 维护中"},
        {{{"Cache-Control", "no-cache"}, tag}, 0h, {{"ETag", "\"v2\""}}, stale},
    };
    for (const auto &row : rows) {
        test::ScriptedHttpServer peer; // a new address, so nothing is stored for it yet
        QDateTime now = QDateTime::fromString("2026-12-07T00:00:00Z", Qt::ISODate);
        const auto ask = [&] { return failureOf([&] { today(peer.url(), {}, [&now] { return now; }); }); };
        const auto answer = [&peer](int status, const Headers &headers) {
            peer.on(todayPath, [=](const test::RecordedRequest &request) {
                const bool known = request.headers.value("if-none-match", "\"v1\"") == "\"v1\"";
                return ScriptedResponse{known ? status : 500, headers,
                                        status == 503 ? R"({"error": "维护中"})" : ""};
            });
        };
        peer.on(todayPath, ScriptedResponse{.headers = row.first, .body = metadataJson});
        EXPECT_EQ(ask(), "<no error>");
        now = now.addSecs(std::chrono::seconds(row.shift).count());
        answer(304, row.confirmation);
        const std::string confirmed = ask();
        answer(503, {});
        EXPECT_EQ(std::to_string(peer.count(todayPath)) + ": " + confirmed + ", " + ask(), row.outcome)
            << row.first.last().second.toStdString();
    }
}

// A hostile answer, given to both requests (the image is fetched from the same address), and the failure (a
// pattern) each ends in; no download pattern: as for today.
struct Hostile {
    std::string name;
    ScriptedResponse response;
    std::string today, download = {};
    WallpaperAPIClient::Timeouts timeouts = {};
    qint64 length = 0; // announced for the download
};

const std::string mismatch = "壁纸文件校验失败，已保留当前桌面。";
const std::string tooLarge = "transport: 服务器的响应过大：超过 1 MiB，已停止接收。";
const std::string oversized = "transport: 壁纸文件过大：服务器发送的数据超过 64 MiB，已停止下载。";
const std::string overGiB = "transport: 壁纸文件过大：服务器发送的数据超过 1024 MiB，已停止下载。";
const std::string undecodable = "transport: 服务器发送的内容无法解码：.*";
// A gzip header, then a deflate block of the reserved type.
const QByteArray brokenDeflate = QByteArray::fromHex("1f8b0800000000000003ffff");
const std::string compressed = "transport: 服务器以压缩格式（gzip）发送了壁纸文件，而请求的是未压缩的文件。";

const Hostile hostile[] = {
    // The service's own words are shown as sent; the status is checked before emptiness.
    {"ErrorInTheServersWords", {.status = 404, .body = R"({"error": " 壁纸已下架 "})"}, " 壁纸已下架 "},
    {"MultipleChoices", {.status = 300}, "服务器返回错误：300"},
    {"NotModifiedUnasked", {.status = 304}, "服务器返回错误：304"},
    {"NoContent", {.status = 204}, "服务器响应为空。", mismatch},
    {"MissingField", {.body = R"({"id": 7})"}, "服务器返回的壁纸信息缺少字段“effectiveDate”。", mismatch},
    {"EmptyDigest", {.body = QByteArray(metadataJson).replace("ab", "")}, ".*“sha256”为空。", mismatch},
    {"CutBody", {.body = image, .cutAfter = 100000}, "transport: .+"},
    {"RedirectLoop", ScriptedResponse::redirect("?again"), "transport: .+"},
    {"Idle", {.body = image, .stallAfter = 9}, "transport: 请求超时：服务器在 1 秒内没有响应。", {}, quick},
    {"HugeAnnouncedBody", {.body = image, .padding = 64 << 20}, tooLarge, oversized},
    {"EndlessChunkedBody", {.body = image, .chunked = true, .padding = 96 << 20}, tooLarge, oversized},
    // Whatever length is announced, no picture is taken past 1 GiB.
    {"HugeLength", {.body = image, .padding = qint64(2) << 30}, tooLarge, overGiB, {}, qint64(1) << 62},
    // Qt's own check against decompression bombs may speak first.
    {"GzipBomb", {.body = QByteArray(64 << 20, ' '), .gzip = true}, tooLarge + '|' + undecodable, compressed},
    {"BrokenCompression", {200, {{"Content-Encoding", "gzip"}}, brokenDeflate}, undecodable, compressed},
    {"Drip", {.padding = 40, .drip = 50ms}, "transport: 请求超时：服务器在 1 秒内没有传完响应。", {}, quick},
};

class HostileServer : public WallpaperClient, public ::testing::WithParamInterface<Hostile> {};

// The client stops reading what it will not use, so the peer cannot push a whole endless body through: the
// two requests take at most 1 and 64 MiB, and socket buffers some more. The old picture stays, and no
// temporary file.
TEST_P(HostileServer, EndsEachRequestWithAClearMessageKeepingTheOldPicture) {
    const Hostile &row = GetParam();
    server.on(todayPath, row.response);
    EXPECT_THAT(failureOf([&] { today(server.url(), row.timeouts); }), ::testing::MatchesRegex(row.today));
    EXPECT_THAT(failureOf([&] { download(todayPath, server.url(), row.timeouts, row.length); }),
                ::testing::MatchesRegex(row.download.empty() ? row.today : row.download));
    EXPECT_LT(server.bodyBytesSent(), (1 + 64 + 31) << 20);
    EXPECT_EQ(left(), "3-abc.png: old picture");
}

INSTANTIATE_TEST_SUITE_P(WallpaperClient, HostileServer, ::testing::ValuesIn(hostile),
                         [](const auto &row) { return row.param.name; });

} // namespace
