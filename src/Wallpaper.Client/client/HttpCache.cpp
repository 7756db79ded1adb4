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
#include <algorithm>
#include <array>
#include <memory>

namespace lumivra::HttpCache {

namespace {

using Headers = QNetworkCacheMetaData::RawHeaderList;
using Attributes = QNetworkCacheMetaData::AttributesMap;

// Of an answer's headers, the validators and the server's word on how long the answer stays fresh.
constexpr std::array<const char *, 4> keptHeaders = {"ETag", "Last-Modified", "Cache-Control", "Expires"};

// When the answer arrived, by the caller's clock, and how many seconds it was still fresh for then.
constexpr auto receivedAttribute = static_cast<QNetworkRequest::Attribute>(QNetworkRequest::User);
constexpr auto freshForAttribute = static_cast<QNetworkRequest::Attribute>(QNetworkRequest::User + 1);

// A number of seconds too large to hold counts as 2^31 (RFC 9111 §1.2.2), which keeps every sum far from
// overflowing.
constexpr qint64 maxDeltaSeconds = qint64(1) << 31;

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

// Names lower-cased; of a directive given twice, the first counts (RFC 9111 §4.2.1).
QHash<QByteArray, QByteArray> cacheControl(const Headers &headers) {
    QHash<QByteArray, QByteArray> directives;
    for (const QByteArray &directive : field(headers, "Cache-Control").split(',')) {
        const qsizetype equals = directive.indexOf('=');
        const QByteArray name = (equals < 0 ? directive : directive.left(equals)).trimmed().toLower();
        const QByteArray value = equals < 0 ? QByteArray() : directive.mid(equals + 1).trimmed();
        if (!directives.contains(name))
            directives.insert(name, value.size() > 1 && value.startsWith('"') && value.endsWith('"')
                                        ? value.mid(1, value.size() - 2)
                                        : value);
    }
    return directives;
}

// Digits only, else nothing: a minus sign or a fraction makes the value invalid.
std::optional<qint64> deltaSeconds(const QByteArray &text) {
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    qint64 value = 0;
    for (const char digit : text)
        value = std::min(value * 10 + (digit - '0'), maxDeltaSeconds);
    return value;
}

// Qt's own parser of HTTP dates, which knows all three forms HTTP allows.
QDateTime httpDate(const QByteArray &text) {
    QNetworkRequest parser;
    parser.setRawHeader("Last-Modified", text);
    return parser.header(QNetworkRequest::LastModifiedHeader).toDateTime();
}

// How long the answer stays fresh from when the server made it (RFC 9111 §4.2.1); zero when it must be
// confirmed before every use. An invalid max-age makes it stale rather than leaving Expires to decide, and an
// invalid Expires ("0") has passed.
qint64 lifetime(const Headers &headers, const QNetworkReply &reply, const QDateTime &received) {
    const auto directives = cacheControl(headers);
    if (directives.contains("no-cache") || directives.contains("no-store"))
        return 0;
    if (directives.contains("max-age"))
        return deltaSeconds(directives.value("max-age")).value_or(0);
    const QDateTime expires = httpDate(field(headers, "Expires"));
    if (!expires.isValid())
        return 0;
    // Expires counts from the server's own Date, whatever our clock says.
    const QDateTime sent = httpDate(reply.rawHeader("Date"));
    return std::clamp<qint64>((sent.isValid() ? sent : received).secsTo(expires), 0, maxDeltaSeconds);
}

// How old the answer already was when it arrived (RFC 9111 §4.2.3): the larger of its Age and of the time
// since the server's Date. Of an Age given as a list the first member counts, and one that is not a number of
// seconds is ignored (§5.1).
qint64 initialAge(const QNetworkReply &reply, const QDateTime &received) {
    const QDateTime sent = httpDate(reply.rawHeader("Date"));
    const qint64 apparent =
        sent.isValid() ? std::clamp<qint64>(sent.secsTo(received), 0, maxDeltaSeconds) : 0;
    const QByteArray age = reply.rawHeader("Age").split(',').value(0).trimmed();
    return std::max(apparent, deltaSeconds(age).value_or(0));
}

Attributes freshness(const Headers &headers, const QNetworkReply &reply, const QDateTime &received) {
    return {{receivedAttribute, received},
            {freshForAttribute, lifetime(headers, reply, received) - initialAge(reply, received)}};
}

// Fresh while less time has passed since the answer arrived than it had left then. A clock set back to before
// it arrived says nothing of its age, and its freshness began by a clock now known to be wrong: stale.
bool isFresh(const QNetworkCacheMetaData &stored, const QDateTime &now) {
    const QDateTime received = stored.attributes().value(receivedAttribute).toDateTime();
    const qint64 freshFor = stored.attributes().value(freshForAttribute).toLongLong();
    return received.isValid() && received <= now && received.msecsTo(now) < freshFor * 1000;
}

QByteArray opaqueTag(const QByteArray &tag) {
    return tag.startsWith("W/") ? tag.mid(2) : tag;
}

// Whether a 304 speaks of the stored answer (RFC 9111 §4.3.4). A strong entity tag must be the stored one,
// a weak one may differ from it only in being weak; without a tag, a Last-Modified must name the stored date.
bool matches(const Headers &stored, const QNetworkReply &reply) {
    const QByteArray tag = reply.rawHeader("ETag").trimmed();
    const QByteArray storedTag = field(stored, "ETag").trimmed();
    if (!tag.isEmpty())
        return !storedTag.isEmpty() &&
               (tag.startsWith("W/") ? opaqueTag(tag) == opaqueTag(storedTag) : tag == storedTag);
    const QByteArray modified = reply.rawHeader("Last-Modified");
    const QDateTime date = httpDate(modified);
    return modified.isEmpty() || (date.isValid() && date == httpDate(field(stored, "Last-Modified")));
}

std::optional<QByteArray> storedBody(const QUrl &url) {
    const std::unique_ptr<QIODevice> device(store().data(url));
    if (!device)
        return std::nullopt;
    return device->readAll();
}

} // namespace

std::optional<QByteArray> freshAnswer(const QUrl &url, const QDateTime &now) {
    if (!isFresh(store().metaData(url), now))
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

std::optional<QByteArray> confirmedAnswer(const QNetworkReply &reply, const QDateTime &now) {
    const QNetworkRequest asked = reply.request();
    const bool conditional = asked.hasRawHeader("If-None-Match") || asked.hasRawHeader("If-Modified-Since");
    QNetworkCacheMetaData stored = store().metaData(reply.url());
    if (!conditional || !stored.isValid() || !matches(stored.rawHeaders(), reply))
        return std::nullopt;
    std::optional<QByteArray> body = storedBody(reply.url());
    if (!body)
        return std::nullopt;
    const Headers headers = keptFrom(reply, stored.rawHeaders());
    stored.setRawHeaders(headers);
    stored.setAttributes(freshness(headers, reply, now));
    store().updateMetaData(stored);
    return body;
}

void keep(const QNetworkReply &reply, const QByteArray &body, const QDateTime &now) {
    QNetworkDiskCache &cache = store();
    cache.remove(reply.url());
    const Headers headers = keptFrom(reply);
    const Attributes attributes = freshness(headers, reply, now);
    const bool fresh = attributes.value(freshForAttribute).toLongLong() > 0;
    const bool confirmable = !field(headers, "ETag").isEmpty() || !field(headers, "Last-Modified").isEmpty();
    if (reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200 ||
        cacheControl(headers).contains("no-store") || (!confirmable && !fresh))
        return;
    QNetworkCacheMetaData entry;
    entry.setUrl(reply.url());
    entry.setRawHeaders(headers);
    entry.setAttributes(attributes);
    entry.setSaveToDisk(true);
    if (QIODevice *device = cache.prepare(entry)) {
        device->write(body);
        cache.insert(device);
    }
}

} // namespace lumivra::HttpCache
