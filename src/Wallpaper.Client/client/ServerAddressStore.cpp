#include "client/ServerAddressStore.h"

#include "client/ClientOptions.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStringList>
#include <optional>

namespace lumivra::ServerAddressStore {

namespace {

// The INI reader splits an unquoted value at its commas ("http://host/a,b" comes back as two items), so a
// list is the text the user wrote. A value of another kind (a rectangle, say) is no text at all.
std::optional<QString> storedText(const QVariant &stored) {
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList().join(QLatin1Char(','));
    if (stored.typeId() == QMetaType::QString || stored.typeId() == QMetaType::QByteArray)
        return stored.toString();
    return std::nullopt;
}

} // namespace

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
    const std::optional<QString> read = storedText(stored);
    // What cannot be read as an address is left for the user to mend rather than replaced by the default.
    if (!read)
        return ClientOptions::normalizeServerBaseURL(std::nullopt);
    const QString &text = *read;
    QString migrated = ClientOptions::replacingRetiredServerBaseURL(text);
    if (migrated != text) {
        settings.setValue(QLatin1String(key), migrated);
        settings.sync(); // a failed rewrite is harmless: the migrated value is used either way
    }
    return migrated;
}

} // namespace lumivra::ServerAddressStore
