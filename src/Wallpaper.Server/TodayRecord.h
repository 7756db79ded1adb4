#pragma once

#include "WallpaperFolder.h"

#include <QByteArray>
#include <QString>

namespace lumivra::server {

// The JSON answer to today's request. The download link is `downloadPrefix` followed by the escaped file
// name; a relative prefix works under whatever address the answer was fetched from.
QByteArray todayRecord(const DailyWallpaper &today, const QString &downloadPrefix);

} // namespace lumivra::server
