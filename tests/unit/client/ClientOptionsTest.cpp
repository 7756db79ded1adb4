#include "client/ClientOptions.h"

#include <gtest/gtest.h>

using namespace lumivra::ClientOptions;

namespace {
const QString defaultURL = QString::fromUtf16(defaultServerBaseURL);
}

TEST(NormalizeServerBaseURL, BlankInputGivesTheDefault) {
    EXPECT_EQ(normalizeServerBaseURL(std::nullopt), defaultURL);
    EXPECT_EQ(normalizeServerBaseURL(QString()), defaultURL);
    EXPECT_EQ(normalizeServerBaseURL(QStringLiteral(" \t\r\n\v\f")), defaultURL);
    // NEL, no-break space, ideographic space and the line/paragraph separators are white space too.
    EXPECT_EQ(normalizeServerBaseURL(QString::fromUtf16(u"\u0085\u00a0\u3000\u2028\u2029")), defaultURL);
}

TEST(NormalizeServerBaseURL, TrimsOnceThenDropsEveryTrailingSlash) {
    EXPECT_EQ(normalizeServerBaseURL(QStringLiteral("  https://a.example/  ")), "https://a.example");
    EXPECT_EQ(normalizeServerBaseURL(QStringLiteral("https://a.example///")), "https://a.example");
    EXPECT_EQ(normalizeServerBaseURL(QStringLiteral("https://a.example/base/")), "https://a.example/base");
    EXPECT_EQ(normalizeServerBaseURL(QStringLiteral("wallpaper.example/")), "wallpaper.example");
    // Trimming is not repeated, so white space in front of removed slashes stays.
    EXPECT_EQ(normalizeServerBaseURL(QStringLiteral("https://a.example /")), "https://a.example ");
    // Only slashes: not blank when the default is considered, so the result is empty.
    EXPECT_EQ(normalizeServerBaseURL(QStringLiteral(" /// ")), "");
    // Inner white space and a default-looking text are left alone.
    EXPECT_EQ(normalizeServerBaseURL(QStringLiteral("a b")), "a b");
}

TEST(ReplacingRetiredServerBaseURL, MovesRetiredEndpointsToTheDefault) {
    EXPECT_EQ(replacingRetiredServerBaseURL(QStringLiteral("http://203.0.113.10")), defaultURL);
    EXPECT_EQ(replacingRetiredServerBaseURL(QStringLiteral(" HTTP://203.0.113.10// \n")), defaultURL);
    EXPECT_EQ(replacingRetiredServerBaseURL(QStringLiteral("Http://198.51.100.24/")), defaultURL);
    EXPECT_FALSE(replacingRetiredServerBaseURL(QString()).endsWith(QLatin1Char('/')));
}

TEST(ReplacingRetiredServerBaseURL, KeepsEverythingElseNormalised) {
    EXPECT_EQ(replacingRetiredServerBaseURL(QStringLiteral("http://203.0.113.10:8080")),
              "http://203.0.113.10:8080");
    EXPECT_EQ(replacingRetiredServerBaseURL(QStringLiteral("http://203.0.113.10/api/")),
              "http://203.0.113.10/api");
    EXPECT_EQ(replacingRetiredServerBaseURL(QStringLiteral("https://203.0.113.10")), "https://203.0.113.10");
    EXPECT_EQ(replacingRetiredServerBaseURL(QStringLiteral("203.0.113.10")), "203.0.113.10");
    EXPECT_EQ(replacingRetiredServerBaseURL(QStringLiteral(" https://mine.example/ ")),
              "https://mine.example");
}
