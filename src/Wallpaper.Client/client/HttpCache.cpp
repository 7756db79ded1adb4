#include "client/HttpCache.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStandardPaths>
#include <QUrl>
#include <array>
#include <memory>

namespace lumivra::HttpCache {

namespace {

using Headers = QNetworkCacheMetaData::RawHeaderList;

// Of an answer's headers, the validators and the server's word on how long the answer stays fresh.
constexpr std::array<const char *, 4> keptHeaders = {"ETag", "Last-Modified", "Cache-Control", "Expires"};

QNetworkDiskCache &store() {
    // Owned by the application object, like the network access manager.
    static QPointer<QNetworkDiskCache> cache;
    if (!cache) {
        cache = new QNetworkDiskCache(QCoreApplication::instance());
        cache->setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                                 QStringLiteral("/http"));
    }
    return *cache;
}

QByteArray field(const Headers &headers, const char *name) {
    for (const auto &[key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

Headers keptFrom(const QNetworkReply &reply, Headers headers = {}) {
    for (const char *name : keptHeaders) {
        if (!reply.hasRawHeader(name))
            continue;
        headers.removeIf(
            [name](const auto &header) { return header.first.compare(name, Qt::CaseInsensitive) == 0; });
        headers.append({name, reply.rawHeader(name)});
    }
    return headers;
}

QHash<QByteArray, QByteArray> cacheControl(const Headers &headers) {
    QHash<QByteArray, QByteArray> directives;
    for (const QByteArray &directive : field(headers, "Cache-Control").split(',')) {
        const qsizetype equals = directive.indexOf('=');
        const QByteArray name = equals < 0 ? directive : directive.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : directive.mid(equals + 1).trimmed();
        directives.insert(name.trimmed().toLower(), value.startsWith('"') && value.endsWith('"')
                                                        ? value.mid(1, value.size() - 2)
                                                        : value);
    }
    return directives;
}

// Qt's own parser of HTTP dates, which knows all three forms HTTP allows.
QDateTime httpDate(const QByteArray &text) {
    QNetworkRequest parser;
    parser.setRawHeader("Last-Modified", text);
    return parser.header(QNetworkRequest::LastModifiedHeader).toDateTime();
}

// Until when the answer may be used without asking the server; invalid when it must always be confirmed.
QDateTime freshUntil(const Headers &headers, const QNetworkReply &reply) {
    const auto directives = cacheControl(headers);
    if (directives.contains("no-cache") || directives.contains("no-store"))
        return {};
    const QDateTime now = QDateTime::currentDateTimeUtc();
    bool numeric = false;
    const qint64 maxAge = directives.value("max-age").toLongLong(&numeric);
    if (numeric)
        return now.addSecs(maxAge - reply.rawHeader("Age").toLongLong());
    // Expires counts from the server's clock, which need not agree with ours.
    const QDateTime expires = httpDate(field(headers, "Expires"));
    const QDateTime sent = httpDate(reply.rawHeader("Date"));
    return expires.isValid() ? now.addSecs((sent.isValid() ? sent : now).secsTo(expires)) : QDateTime();
}

std::optional<QByteArray> storedBody(const QUrl &url) {
    const std::unique_ptr<QIODevice> device(store().data(url));
    if (!device)
        return std::nullopt;
    return device->readAll();
}

} // namespace

std::optional<QByteArray> freshAnswer(const QUrl &url) {
    const QDateTime until = store().metaData(url).expirationDate();
    if (!until.isValid() || QDateTime::currentDateTimeUtc() >= until)
        return std::nullopt;
    return storedBody(url);
}

void addValidators(QNetworkRequest &request) {
    const QNetworkCacheMetaData stored = store().metaData(request.url());
    if (!stored.isValid())
        return;
    if (const QByteArray tag = field(stored.rawHeaders(), "ETag"); !tag.isEmpty())
        request.setRawHeader("If-None-Match", tag);
    if (const QByteArray modified = field(stored.rawHeaders(), "Last-Modified"); !modified.isEmpty())
        request.setRawHeader("If-Modified-Since", modified);
}

std::optional<QByteArray> confirmedAnswer(const QUrl &url, const QNetworkReply &reply) {
    QNetworkCacheMetaData stored = store().metaData(url);
    std::optional<QByteArray> body = stored.isValid() ? storedBody(url) : std::nullopt;
    if (!body)
        return std::nullopt;
    const Headers headers = keptFrom(reply, stored.rawHeaders());
    stored.setRawHeaders(headers);
    stored.setExpirationDate(freshUntil(headers, reply));
    store().updateMetaData(stored);
    return body;
}

void keep(const QUrl &url, const QNetworkReply &reply, const QByteArray &body) {
    QNetworkDiskCache &cache = store();
    cache.remove(url);
    const Headers headers = keptFrom(reply);
    const QDateTime until = freshUntil(headers, reply);
    const bool confirmable = !field(headers, "ETag").isEmpty() || !field(headers, "Last-Modified").isEmpty();
    if (reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200 ||
        cacheControl(headers).contains("no-store") || (!confirmable && !until.isValid()))
        return;
    QNetworkCacheMetaData entry;
    entry.setUrl(url);
    entry.setRawHeaders(headers);
    entry.setExpirationDate(until);
    entry.setSaveToDisk(true);
    if (QIODevice *device = cache.prepare(entry)) {
        device->write(body);
        cache.insert(device);
    }
}

} // namespace lumivra::HttpCache
