#include "system/ClientPaths.h"

#include <QDir>
#include <QStandardPaths>

namespace lumivra {

namespace ClientPaths {
namespace {
// A folder that cannot be created is not an error here: the download that needs it reports the
// failure with its reason.
void createDirectory(const QString &path) {
    QDir().mkpath(path);
}
} // namespace

QString wallpaperCache() {
    const QString client = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/LumivraWallpaper");
    createDirectory(client);
    QString cache = client + QStringLiteral("/wallpapers");
    createDirectory(cache);
    return cache;
}
} // namespace ClientPaths

} // namespace lumivra
