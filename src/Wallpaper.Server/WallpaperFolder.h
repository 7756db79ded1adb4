#pragma once

#include "FileDigest.h"
#include "UniqueFd.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <sys/stat.h>

namespace lumivra::server {

// One picture the service can hand out, ready to be described or sent.
struct Wallpaper {
    qint64 id = 0;
    QString fileName;
    QByteArray contentType;
};

// A picture opened for reading: what is sent and hashed is this very file, whatever happens to its name
// meanwhile.
struct OpenedPicture {
    Wallpaper wallpaper;
    UniqueFd fd;
    struct stat status = {};
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
// name, advancing one picture per day.
//
// Only regular files directly inside the folder are read, opened under the folder's own descriptor without
// following links, so that nothing outside the folder can be reached by any name or by swapping a link in
// at the right moment. Hidden files (a name starting with ".") are never served or scheduled.
//
// Failures are thrown as ApiError with the status and the sentence the client should see; they never
// name the folder's place on disk.
class WallpaperFolder {
public:
    // Name of the optional schedule inside the folder: a JSON object mapping "YYYY-MM-DD" to a file name.
    static constexpr auto scheduleFileName = "schedule.json";
    // A schedule for years of days is a few tens of kilobytes; anything far larger is not one.
    static constexpr qint64 scheduleSizeLimit = 1 << 20;

    explicit WallpaperFolder(const QString &root);

    // The pictures directly inside the folder, by file name in code-point order.
    QStringList pictureNames() const;

    // The picture called `fileName` (a single file name, as it appears in a download link), opened.
    OpenedPicture open(const QString &fileName) const;

    // The name the schedule gives `date`, or an empty string when it names none (or there is no schedule).
    QString scheduledName(const QDate &date) const;

    // Which picture `date` shows, from the schedule or else the rotation through `names`; throws when the
    // schedule names a picture that cannot be served or there is none at all.
    QString nameFor(const QDate &date, const QStringList &names) const;

    // The whole answer for `date`, hashing the picture unless `digests` knows it already.
    DailyWallpaper wallpaperFor(const QDate &date, DigestCache &digests) const;

    // Derived from the file name alone, so it stays the same when other pictures come and go, and small
    // enough (48 bits) to survive any JSON reader that keeps numbers as doubles.
    static qint64 idFor(const QString &fileName);

    // True for names the service may hand out: plain, visible file names of a picture type.
    static bool isServableName(const QString &fileName);

    // The folder's own descriptor, under which every name is looked up (-1 when it could not be opened).
    int rootFd() const { return m_root.get(); }

private:
    UniqueFd m_root;
};

} // namespace lumivra::server
