#include "ClientFailure.h"
#include "ScriptedHttpServer.h"
#include "Wait.h"
#include "client/Errors.h"
#include "client/WallpaperAPIClient.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace lumivra;
using test::ScriptedHttpServer;
using test::ScriptedResponse;

namespace {

const QByteArray metadataJson = R"({"id": 7, "effectiveDate": "2026-12-06", "fileName": "a.png",
  "contentType": "image/png", "length": 3, "sha256": "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
  "downloadUrl": "files/a.png"})";
const QString todayPath = QStringLiteral("/api/client/wallpaper/today");

WallpaperMetadataResponse today(const QString &base, WallpaperAPIClient::Timeouts timeouts = {}) {
    WallpaperAPIClient client(base, timeouts);
    return test::runTask(client.getTodayWallpaper());
}

// What the today request ends in, as "kind: description".
QString failure(const QString &base, WallpaperAPIClient::Timeouts timeouts = {}) {
    return test::failureOf([&] { today(base, timeouts); });
}

} // namespace

TEST(GetTodayWallpaper, FetchesAndDecodesBelowTheBasePath) {
    ScriptedHttpServer server;
    server.on(QStringLiteral("/prefix") + todayPath, ScriptedResponse::json(metadataJson));
    const auto record = today(server.url(QStringLiteral("/prefix/")));
    EXPECT_EQ(record.id, 7);
    EXPECT_EQ(record.effectiveDate, "2026-12-06");
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().method, "GET");
}

TEST(GetTodayWallpaper, UnderstandsChunkedCompressedAndRedirectedAnswers) {
    ScriptedHttpServer server;
    ScriptedResponse framed = ScriptedResponse::json(metadataJson);
    framed.chunked = true;
    framed.gzip = true;
    server.on(QStringLiteral("/moved") + todayPath, framed);
    server.on(todayPath,
              ScriptedResponse::redirect(server.url(QStringLiteral("/moved") + todayPath).toUtf8()));
    EXPECT_EQ(today(server.url()).fileName, "a.png");
    EXPECT_EQ(server.count(QStringLiteral("/moved") + todayPath), 1);
}

TEST(GetTodayWallpaper, HonoursTheServersCachingHeaders) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto httpDate = [](const QDateTime &at) {
        return QLocale::c().toString(at, "ddd, dd MMM yyyy hh:mm:ss 'GMT'").toLatin1();
    };
    // The caching headers of the first answer, and how many of two requests reach the server.
    const QList<QPair<QList<QPair<QByteArray, QByteArray>>, int>> rows = {
        {{{"Cache-Control", "max-age=3600"}, {"Date", httpDate(now)}}, 1},
        {{{"Date", httpDate(now)}, {"Expires", httpDate(now.addSecs(3600))}}, 1},
        {{{"Date", httpDate(now)}, {"Expires", "0"}}, 2},
        {{{"Cache-Control", "max-age=3600, no-store"}}, 2},
        {{{"Cache-Control", "no-cache, max-age=3600"}, {"ETag", "\"v1\""}}, 2},
    };
    for (const auto &[headers, requests] : rows) {
        ScriptedHttpServer server;
        ScriptedResponse answer = ScriptedResponse::json(metadataJson);
        answer.headers = headers;
        server.on(todayPath, answer);
        EXPECT_EQ(today(server.url()).id, 7);
        EXPECT_EQ(today(server.url()).id, 7);
        EXPECT_EQ(server.count(todayPath), requests) << headers.first().second.toStdString();
    }
}

// An outage must be reported as one, never answered with an earlier copy from the HTTP cache.
TEST(GetTodayWallpaper, AnErrorAfterASuccessIsNotAnsweredFromTheCache) {
    const QByteArray now =
        QLocale::c().toString(QDateTime::currentDateTimeUtc(), "ddd, dd MMM yyyy hh:mm:ss 'GMT'").toLatin1();
    const QList<QList<QPair<QByteArray, QByteArray>>> validators = {
        {},
        {{"Date", now}, {"Last-Modified", now}},
        {{"ETag", "\"v1\""}},
        {{"Date", now}, {"Cache-Control", "max-age=0"}},
    };
    for (const auto &headers : validators) {
        ScriptedHttpServer server;
        ScriptedResponse earlier = ScriptedResponse::json(metadataJson);
        earlier.headers = headers;
        server.on(todayPath, earlier);
        ASSERT_EQ(today(server.url()).id, 7);

        server.on(todayPath, ScriptedResponse::json(R"({"error": "维护中"})", 503));
        EXPECT_EQ(failure(server.url()), "service: 维护中") << headers.size();
        server.on(todayPath, ScriptedResponse::json({}, 500));
        EXPECT_EQ(failure(server.url()), "service: 服务器返回错误：500") << headers.size();
    }

    // Revalidation still works, an outage in between: an unchanged answer comes from the stored copy.
    ScriptedHttpServer server;
    ScriptedResponse tagged = ScriptedResponse::json(metadataJson);
    tagged.headers = {{"ETag", "\"v2\""}};
    server.on(todayPath, tagged);
    ASSERT_EQ(today(server.url()).id, 7);
    server.on(todayPath, ScriptedResponse::json({}, 503));
    EXPECT_EQ(failure(server.url()), "service: 服务器返回错误：503");
    server.on(todayPath, [](const test::RecordedRequest &request) {
        return request.headers.value("if-none-match") == "\"v2\"" ? ScriptedResponse::json({}, 304)
                                                                  : ScriptedResponse::json({}, 500);
    });
    EXPECT_EQ(today(server.url()).id, 7);
}

TEST(GetTodayWallpaper, OnlyWebAddressesAreRequested) {
    const QString refused = QStringLiteral("transport: 不支持的地址：“%1/api/client/wallpaper/today”。"
                                           "只能通过 http 或 https 获取壁纸。");
    for (const QString &base :
         {QStringLiteral("wallpaper.example"), QStringLiteral("file:///etc"), QStringLiteral("qrc:")})
        EXPECT_EQ(failure(base), refused.arg(base));
    EXPECT_TRUE(failure(QStringLiteral("http://127.0.0.1:1")).startsWith("transport: ")) << "a closed port";
}

namespace {

// An answer the today request must fail on, and the failure ("kind: description" pattern) it must end in.
struct FailingAnswer {
    std::string name;
    ScriptedResponse response;
    QString failure;
    WallpaperAPIClient::Timeouts timeouts = {};
};

std::vector<FailingAnswer> failingAnswers() {
    const QString tooLarge = QStringLiteral("transport: 服务器的响应过大：超过 1 MiB，已停止接收。");
    const QString undecodable = QStringLiteral("transport: 服务器发送的内容无法解码：.*");
    ScriptedResponse cut = ScriptedResponse::json(metadataJson);
    cut.cutAfter = 10; // the announced length never arrives
    ScriptedResponse stalled = ScriptedResponse::json(metadataJson);
    stalled.stallAfter = 5;
    ScriptedResponse huge = ScriptedResponse::json(metadataJson);
    huge.padding = 64 << 20;
    ScriptedResponse endless = huge;
    endless.chunked = true;
    ScriptedResponse bomb = ScriptedResponse::json(QByteArray(64 << 20, ' '));
    bomb.gzip = true;
    // A gzip header, then a deflate block of the reserved type.
    ScriptedResponse broken = ScriptedResponse::json(QByteArray("\x1f\x8b\x08\0\0\0\0\0\0\x03\xff\xff", 12));
    broken.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip")));
    ScriptedResponse drip = ScriptedResponse::json({});
    drip.padding = 30;
    drip.drip = std::chrono::milliseconds(100);
    const WallpaperAPIClient::Timeouts shortIdle{std::chrono::milliseconds(300), std::chrono::seconds(5)};
    WallpaperAPIClient::Timeouts oneSecond;
    oneSecond.requestDeadline = std::chrono::seconds(1);
    return {
        {"ErrorInTheServersWords", ScriptedResponse::json(R"({"error": "今日壁纸尚未发布"})", 404),
         QStringLiteral("service: 今日壁纸尚未发布")},
        {"ErrorWithoutWords", ScriptedResponse::json("<html>Bad gateway</html>", 502),
         QStringLiteral("service: 服务器返回错误：502")},
        // The status is checked before emptiness.
        {"EmptyError", ScriptedResponse::json({}, 500), QStringLiteral("service: 服务器返回错误：500")},
        {"NotModifiedUnasked", ScriptedResponse::json({}, 304),
         QStringLiteral("service: 服务器返回错误：304")},
        {"EmptyBody", ScriptedResponse::json({}, 200), QStringLiteral("service: 服务器响应为空。")},
        {"NoContent", ScriptedResponse::json({}, 204), QStringLiteral("service: 服务器响应为空。")},
        {"MissingField", ScriptedResponse::json(R"({"id": 7})"),
         QStringLiteral("decoding: 服务器返回的壁纸信息缺少字段“effectiveDate”。")},
        {"CutBody", cut, QStringLiteral("transport: .+")},
        {"RedirectLoop", ScriptedResponse::redirect(todayPath.toUtf8()), QStringLiteral("transport: .+")},
        {"IdleServer", stalled, QStringLiteral("transport: 请求超时：服务器在 1 秒内没有响应。"), shortIdle},
        {"HugeAnnouncedBody", huge, tooLarge},
        {"EndlessChunkedBody", endless, tooLarge},
        // Qt's own check against decompression bombs may speak first.
        {"GzipBomb", bomb, tooLarge + QLatin1Char('|') + undecodable},
        {"BrokenCompression", broken, undecodable},
        {"DripBeyondTheDeadline", drip, QStringLiteral("transport: 请求超时：服务器在 1 秒内没有传完响应。"),
         oneSecond},
    };
}

void PrintTo(const FailingAnswer &answer, std::ostream *out) {
    *out << answer.name;
}

class FailingService : public ::testing::TestWithParam<FailingAnswer> {};

} // namespace

TEST_P(FailingService, EndsTheRequestWithAClearMessage) {
    ScriptedHttpServer server;
    server.on(todayPath, GetParam().response);
    const QString message = failure(server.url(), GetParam().timeouts);
    EXPECT_TRUE(
        QRegularExpression(QRegularExpression::anchoredPattern(GetParam().failure)).match(message).hasMatch())
        << message.toStdString();
    // The client stopped reading: the peer could not push the whole body through.
    EXPECT_LT(server.bodyBytesSent(), 16 << 20);
}

INSTANTIATE_TEST_SUITE_P(GetTodayWallpaper, FailingService, ::testing::ValuesIn(failingAnswers()),
                         [](const auto &info) { return info.param.name; });
