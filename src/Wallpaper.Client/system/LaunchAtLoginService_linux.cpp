#include "system/AutostartEntry.h"
#include "system/LaunchAtLoginService.h"
#include "system/LoginEntryFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

namespace lumivra::LaunchAtLoginService {

namespace {
// The absolute path, not argv[0]: a relative program path means nothing to the session starting it.
void writeLaunchAgent() {
    writeLoginEntry(launchAgentURL(), autostartEntry(QCoreApplication::applicationFilePath()));
}
} // namespace

QString launchAgentURL() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/site.lumivra.wallpaper.desktop");
}

bool isEnabled() {
    const QString path = launchAgentURL();
    if (!loginEntryExists(path))
        return false;
    QFile entry(path);
    // An entry that is there but cannot be read still counts: only a readable "off" switch turns it off.
    return !entry.open(QIODevice::ReadOnly) || !autostartEntryDisabled(entry.readAll());
}

void setEnabled(bool enabled) {
    if (enabled)
        writeLaunchAgent();
    else
        removeLoginEntry(launchAgentURL());
}

} // namespace lumivra::LaunchAtLoginService
