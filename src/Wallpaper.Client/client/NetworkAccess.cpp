#include "client/WallpaperAPIClient.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QPointer>
#include <QStandardPaths>

namespace lumivra {

namespace {

// Qt answers a request whose server replied 5xx with the stored copy unless that copy says
// "must-revalidate", so an outage would be reported as success with yesterday's wallpaper. A stale copy
// is therefore always handed out as one to revalidate, and a fresh one without the directive, because
// Qt would otherwise never serve it without asking the server (RFC 9111 lets a fresh copy be used).
class RevalidatingDiskCache : public QNetworkDiskCache {
public:
    using QNetworkDiskCache::QNetworkDiskCache;

    QNetworkCacheMetaData metaData(const QUrl &url) override {
        QNetworkCacheMetaData stored = QNetworkDiskCache::metaData(url);
        if (!stored.isValid())
            return stored;
        const QDateTime expires = stored.expirationDate();
        const bool fresh = expires.isValid() && QDateTime::currentDateTimeUtc() < expires;
        QNetworkCacheMetaData::RawHeaderList headers;
        QList<QByteArray> directives;
        for (const auto &[name, value] : stored.rawHeaders()) {
            if (name.compare("Cache-Control", Qt::CaseInsensitive) != 0) {
                headers.append({name, value});
                continue;
            }
            for (const QByteArray &directive : value.split(','))
                if (directive.trimmed().toLower() != "must-revalidate")
                    directives.append(directive.trimmed());
        }
        if (!fresh)
            directives.append("must-revalidate");
        if (!directives.isEmpty())
            headers.append({"Cache-Control", directives.join(", ")});
        stored.setRawHeaders(headers);
        return stored;
    }
};

} // namespace

QNetworkAccessManager &sharedNetworkAccessManager() {
    // Owned by the application object, so it outlives every reply and is gone before Qt shuts down.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
        auto *cache = new RevalidatingDiskCache(manager);
        cache->setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                                 QStringLiteral("/http"));
        manager->setCache(cache);
    }
    return *manager;
}

} // namespace lumivra
