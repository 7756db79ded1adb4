#include "client/WallpaperAPIClient.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QPointer>
#include <QStandardPaths>

namespace lumivra {

QNetworkAccessManager &sharedNetworkAccessManager() {
    // Owned by the application object, so it outlives every reply and is gone before Qt shuts down.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
        auto *cache = new QNetworkDiskCache(manager);
        cache->setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                                 QStringLiteral("/http"));
        manager->setCache(cache);
    }
    return *manager;
}

} // namespace lumivra
