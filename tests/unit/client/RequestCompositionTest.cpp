#include "client/Errors.h"
#include "client/WallpaperAPIClient.h"

#include <functional>
#include <gtest/gtest.h>

using namespace lumivra;

namespace {
QString failureOf(const std::function<void()> &call, WallpaperClientError::Kind kind) {
    try {
        call();
    } catch (const WallpaperClientError &error) {
        EXPECT_EQ(error.kind(), kind);
        return error.localizedDescription();
    }
    return QStringLiteral("no error");
}
} // namespace

// Paths, leading slashes dropped, resolve below the base's own path; absolute links replace the base.
TEST(WallpaperAPIClient, ComposesRequestsBelowTheNormalisedAddress) {
    const struct {
        const char *base;
        const char *path;
        const char *url;
    } rows[] = {
        {" https://a.example// ", "", "https://a.example/"},
        {"", "", "https://wallpaper.lumivra.site/"},
        {"https://a.example/prefix", "api/client/wallpaper/today",
         "https://a.example/prefix/api/client/wallpaper/today"},
        {"https://a.example/prefix/", "api/x", "https://a.example/prefix/api/x"},
        {"https://a.example/p", "///files/x.jpg", "https://a.example/p/files/x.jpg"},
        {"https://a.example/p/q", "../x.jpg", "https://a.example/p/x.jpg"},
        {"https://a.example/p", "files/x.jpg?v=2", "https://a.example/p/files/x.jpg?v=2"},
        {"https://a.example/p", "https://cdn.example/img/x.jpg", "https://cdn.example/img/x.jpg"},
    };
    for (const auto &row : rows) {
        const QNetworkRequest request =
            WallpaperAPIClient(QString::fromUtf8(row.base)).makeRequest(QString::fromUtf8(row.path), "GET");
        EXPECT_EQ(request.url().toString(), row.url) << row.base << " + " << row.path;
        EXPECT_TRUE(request.rawHeaderList().isEmpty());
    }
    for (const char *text : {"http://[::1", "http://exa mple.com", "https://a.example:99999"}) {
        EXPECT_EQ(failureOf([&] { WallpaperAPIClient{QString::fromLatin1(text)}; },
                            WallpaperClientError::Kind::invalidServerURL),
                  "服务器地址无效。")
            << text;
    }
}

// Only 2xx (and answers without an HTTP status) succeed; the service's own error text is shown as sent.
TEST(WallpaperAPIClient, EnsureSuccessReportsTheServersErrorText) {
    const struct {
        int status;
        QByteArray body;
        const char *message;
    } rows[] = {
        {200, {}, "no error"},
        {299, {}, "no error"},
        {-1, {}, "no error"},
        {199, "<html>boom</html>", "服务器返回错误：199"},
        {300, {}, "服务器返回错误：300"},
        {304, {}, "服务器返回错误：304"},
        {500, {}, "服务器返回错误：500"},
        {404, R"({"error": "  没有今天的壁纸 "})", "  没有今天的壁纸 "},
        {404, R"({"error": ""})", ""},
        {404, R"({"error": 3})", "服务器返回错误：404"},
        {404, R"({"message": "x"})", "服务器返回错误：404"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(failureOf([&] { WallpaperAPIClient::ensureSuccess(row.status, row.body); },
                            WallpaperClientError::Kind::server),
                  QString::fromUtf8(row.message))
            << row.status << " " << row.body.constData();
    }
}
