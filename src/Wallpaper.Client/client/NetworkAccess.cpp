#include "client/NetworkAccess.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

namespace lumivra {

QNetworkAccessManager &sharedNetworkAccessManager() {
    // Owned by the application object, so it outlives every reply and is gone before Qt shuts down.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    }
    return *manager;
}

void abortAllRequests() {
    for (QNetworkReply *reply : sharedNetworkAccessManager().findChildren<QNetworkReply *>())
        reply->abort();
}

} // namespace lumivra
