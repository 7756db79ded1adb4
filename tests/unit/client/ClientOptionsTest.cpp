#include "client/ClientOptions.h"

#include <gtest/gtest.h>

using namespace lumivra::ClientOptions;

// The server address as saved or typed: trimmed once, every trailing slash dropped, a retired endpoint
// (in any letter case) moved to the default. Only the exact retired address counts.
TEST(ServerAddress, IsNormalisedAndMovedOffRetiredEndpoints) {
    const QString defaultURL = QString::fromUtf16(defaultServerBaseURL);
    const struct {
        QString text;
        QString normalized;
        QString replaced;
    } rows[] = {
        {QString::fromUtf16(u" \t\r\n\v\f\u0085\u00a0\u3000\u2028\u2029"), defaultURL, defaultURL},
        {"  https://a.example/base///  ", "https://a.example/base", "https://a.example/base"},
        {"https://a.example /", "https://a.example ", "https://a.example "},
        {" /// ", "", ""},
        {"a b", "a b", "a b"},
        {" HTTP://203.0.113.10// \n", "HTTP://203.0.113.10", defaultURL},
        {"Http://198.51.100.24/", "Http://198.51.100.24", defaultURL},
        {"http://203.0.113.10:8080", "http://203.0.113.10:8080", "http://203.0.113.10:8080"},
        {"http://203.0.113.10/api/", "http://203.0.113.10/api", "http://203.0.113.10/api"},
        {"https://203.0.113.10", "https://203.0.113.10", "https://203.0.113.10"},
        {"203.0.113.10", "203.0.113.10", "203.0.113.10"},
    };
    EXPECT_EQ(normalizeServerBaseURL(std::nullopt), defaultURL);
    for (const auto &row : rows) {
        EXPECT_EQ(normalizeServerBaseURL(row.text), row.normalized) << row.text.toStdString();
        EXPECT_EQ(replacingRetiredServerBaseURL(row.text), row.replaced) << row.text.toStdString();
    }
}
