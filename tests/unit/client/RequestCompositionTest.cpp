#include "client/Errors.h"
#include "client/WallpaperAPIClient.h"

#include <gtest/gtest.h>

using namespace lumivra;

namespace {
QString requestURL(const QString &base, const QString &path) {
    return WallpaperAPIClient(base).makeRequest(path, "GET").url().toString();
}
} // namespace

TEST(WallpaperAPIClientConstruction, AppendsOneSlashToTheNormalisedAddress) {
    EXPECT_EQ(WallpaperAPIClient(QStringLiteral(" https://a.example// ")).baseURL().toString(),
              "https://a.example/");
    EXPECT_EQ(WallpaperAPIClient(QString()).baseURL().toString(), "https://wallpaper.lumivra.site/");
    // Parsing only asks for a valid reference: a bare host or an empty text is accepted here.
    EXPECT_NO_THROW(WallpaperAPIClient(QStringLiteral("wallpaper.example")));
    EXPECT_NO_THROW(WallpaperAPIClient(QStringLiteral("///")));
}

TEST(WallpaperAPIClientConstruction, RejectsTextsThatAreNotURLs) {
    for (const char *text : {"http://[::1", "http://exa mple.com", "https://a.example:99999"}) {
        try {
            WallpaperAPIClient client{QString::fromLatin1(text)};
            ADD_FAILURE() << text;
        } catch (const WallpaperClientError &error) {
            EXPECT_EQ(error.kind(), WallpaperClientError::Kind::invalidServerURL);
            EXPECT_EQ(error.localizedDescription(), "服务器地址无效。");
        }
    }
}

TEST(MakeRequest, ResolvesBelowTheBasePath) {
    const QString today = QStringLiteral("api/client/wallpaper/today");
    EXPECT_EQ(requestURL("https://a.example", today), "https://a.example/api/client/wallpaper/today");
    EXPECT_EQ(requestURL("https://a.example/prefix", today),
              "https://a.example/prefix/api/client/wallpaper/today");
    EXPECT_EQ(requestURL("https://a.example/prefix/", today),
              "https://a.example/prefix/api/client/wallpaper/today");
    EXPECT_EQ(requestURL("http://127.0.0.1:8480/p", "files/x.jpg"), "http://127.0.0.1:8480/p/files/x.jpg");
    // Leading slashes are dropped, so root-relative links stay below the base too.
    EXPECT_EQ(requestURL("https://a.example/p", "/files/x.jpg"), "https://a.example/p/files/x.jpg");
    EXPECT_EQ(requestURL("https://a.example/p", "///files/x.jpg"), "https://a.example/p/files/x.jpg");
    EXPECT_EQ(requestURL("https://a.example/p/q", "../x.jpg"), "https://a.example/p/x.jpg");
    EXPECT_EQ(requestURL("https://a.example/p", "files/x.jpg?v=2"), "https://a.example/p/files/x.jpg?v=2");
}

TEST(MakeRequest, AbsoluteLinksReplaceTheBase) {
    EXPECT_EQ(requestURL("https://a.example/p", "https://cdn.example/img/x.jpg"),
              "https://cdn.example/img/x.jpg");
}

TEST(MakeRequest, CarriesMethodAndIdleTimeout) {
    WallpaperAPIClient client(QStringLiteral("https://a.example"));
    const QNetworkRequest request = client.makeRequest(QStringLiteral("x"), "GET");
    EXPECT_EQ(request.attribute(QNetworkRequest::CustomVerbAttribute).toString(), "GET");
    EXPECT_EQ(request.transferTimeout(), 30000);
    EXPECT_TRUE(request.rawHeaderList().isEmpty());
}

TEST(EnsureSuccess, AcceptsOnly2xxAndNonHttpAnswers) {
    EXPECT_NO_THROW(WallpaperAPIClient::ensureSuccess(200, {}));
    EXPECT_NO_THROW(WallpaperAPIClient::ensureSuccess(299, {}));
    EXPECT_NO_THROW(WallpaperAPIClient::ensureSuccess(-1, {}));
    for (int status : {199, 300, 304, 404, 500}) {
        try {
            WallpaperAPIClient::ensureSuccess(status, "<html>boom</html>");
            ADD_FAILURE() << status;
        } catch (const WallpaperClientError &error) {
            EXPECT_EQ(error.kind(), WallpaperClientError::Kind::server);
            EXPECT_EQ(error.localizedDescription(), QStringLiteral("服务器返回错误：%1").arg(status));
        }
    }
}

TEST(EnsureSuccess, UsesTheServersErrorTextVerbatim) {
    const auto message = [](const QByteArray &body) {
        try {
            WallpaperAPIClient::ensureSuccess(404, body);
        } catch (const WallpaperClientError &error) {
            return error.localizedDescription();
        }
        return QStringLiteral("no error");
    };
    EXPECT_EQ(message(R"({"error": "  没有今天的壁纸 "})"), "  没有今天的壁纸 ");
    EXPECT_EQ(message(R"({"error": ""})"), "");
    EXPECT_EQ(message(R"({"error": 3})"), "服务器返回错误：404");
    EXPECT_EQ(message(R"({"message": "x"})"), "服务器返回错误：404");
    EXPECT_EQ(message(""), "服务器返回错误：404");
}
