#pragma once

#include "FileDigest.h"

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QString>
#include <QStringList>

namespace lumivra::server {

// One picture the service can hand out, ready to be described or sent.
struct Wallpaper {
    qint64 id = 0;
    QString fileName;
    QString path;
    QByteArray contentType;
};

// What the service announces for a day: the picture, its day and its digest.
struct DailyWallpaper {
    Wallpaper wallpaper;
    QDate effectiveDate;
    qint64 length = 0;
    QString sha256;
};

// The folder of pictures the service serves, and the rule that picks one per day: the entry for that day
// in the folder's schedule file when there is one, otherwise a rotation through the pictures sorted by
// name, advancing one picture per day. The folder is read afresh on each call, so pictures and the
// schedule can be added, replaced or removed while the service runs.
//
// Failures are thrown as ApiError with the status and the sentence the client should see.
class WallpaperFolder {
public:
    // Name of the optional schedule inside the folder: a JSON object mapping "YYYY-MM-DD" to a file name.
    static constexpr auto scheduleFileName = "schedule.json";

    explicit WallpaperFolder(const QString &root);

    QString root() const { return m_root.absolutePath(); }

    // The pictures directly inside the folder, by file name in code-point order.
    QStringList pictureNames() const;

    // The picture called `fileName` (a single file name, as it appears in a download link). Refuses names
    // that are not plain file names or that lead outside the folder, symbolic links included.
    Wallpaper picture(const QString &fileName) const;

    DailyWallpaper wallpaperFor(const QDate &date);

    // Derived from the file name alone, so it stays the same when other pictures come and go, and small
    // enough (48 bits) to survive any JSON reader that keeps numbers as doubles.
    static qint64 idFor(const QString &fileName);

private:
    QString scheduledName(const QDate &date) const;

    QDir m_root;
    DigestCache m_digests;
};

} // namespace lumivra::server
