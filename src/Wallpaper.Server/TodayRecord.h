#pragma once

#include "WallpaperFolder.h"

#include <QByteArray>
#include <QString>

namespace lumivra::server {

// The JSON answer to today's request. The download link is `downloadPrefix` followed by the escaped file
// name. The Lumivra client resolves a relative link against its configured server address, not against the
// answer's own address as RFC 3986 would, so a relative prefix works under any host name.
QByteArray todayRecord(const DailyWallpaper &today, const QString &downloadPrefix);

} // namespace lumivra::server
