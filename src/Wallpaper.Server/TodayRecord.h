#pragma once

#include "WallpaperFolder.h"

#include <QByteArray>
#include <QString>

namespace lumivra::server {

// The JSON answer to today's request. The download link is `downloadBase` followed by "files/" and the
// escaped file name; with an empty base it is relative, so it works under whatever address the answer was
// fetched from.
QByteArray todayRecord(const DailyWallpaper &today, const QString &downloadBase);

} // namespace lumivra::server
