#include "client/ClientOptions.h"

#include <array>

namespace lumivra::ClientOptions {

namespace {
// Former plain-http endpoints of the service; a configuration saved while one was in use moves on.
const std::array<QString, 2> retiredServerBaseURLs = {
    QStringLiteral("http://203.0.113.10"),
    QStringLiteral("http://198.51.100.24"),
};
} // namespace

QString normalizeServerBaseURL(const std::optional<QString> &text) {
    // QChar::isSpace is exactly Unicode's Z categories plus U+0009..U+000D and U+0085.
    QString result = text.value_or(QString()).trimmed();
    if (result.isEmpty())
        result = QString::fromUtf16(defaultServerBaseURL);
    while (result.endsWith(QLatin1Char('/')))
        result.chop(1);
    return result;
}

QString replacingRetiredServerBaseURL(const QString &text) {
    QString normalized = normalizeServerBaseURL(text);
    for (const QString &retired : retiredServerBaseURLs) {
        if (normalized.compare(retired, Qt::CaseInsensitive) == 0)
            return QString::fromUtf16(defaultServerBaseURL);
    }
    return normalized;
}

} // namespace lumivra::ClientOptions
