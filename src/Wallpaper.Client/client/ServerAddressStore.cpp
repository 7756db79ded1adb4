#include "client/ServerAddressStore.h"

#include "client/ClientOptions.h"

#include <QCoreApplication>
#include <QSettings>

namespace lumivra::ServerAddressStore {

void applyApplicationIdentity() {
    QCoreApplication::setOrganizationName(QStringLiteral("Lumivra"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("lumivra.site"));
    QCoreApplication::setApplicationName(QStringLiteral("LumivraWallpaper"));
}

QString load() {
    // The default QSettings follows the identity (on macOS it takes the domain, giving site.lumivra.*).
    applyApplicationIdentity();
    QSettings settings;
    const QVariant stored = settings.value(QLatin1String(key));
    // Without a stored address there is nothing to migrate; the client falls back to the default, and
    // writing the default here would pin this user to it should the default ever move.
    if (!stored.isValid())
        return ClientOptions::normalizeServerBaseURL(std::nullopt);
    const QString text = stored.toString();
    const QString migrated = ClientOptions::replacingRetiredServerBaseURL(text);
    if (migrated != text) {
        settings.setValue(QLatin1String(key), migrated);
        settings.sync(); // a failed rewrite is harmless: the migrated value is used either way
    }
    return migrated;
}

} // namespace lumivra::ServerAddressStore
