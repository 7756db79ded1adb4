#include "StaticExport.h"

#include "ApiError.h"
#include "FileDigest.h"
#include "TodayRecord.h"
#include "WallpaperFolder.h"

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimeZone>
#include <QtEndian>
#include <fcntl.h>
#include <sys/stat.h>

namespace lumivra::server {

namespace {

// A few years of days; far more is a typo, not a plan.
constexpr int maxDays = 3660;

QString copyPicture(const WallpaperFolder &folder, const DailyWallpaper &day, const QString &destination) {
    const QFileInfo existing(destination);
    if (existing.isFile() && existing.size() == day.length)
        return {}; // the name holds the digest: same name, same bytes
    const OpenedPicture picture = folder.open(day.wallpaper.fileName);
    if (!QDir().mkpath(existing.path()))
        return QStringLiteral("cannot create %1").arg(existing.path());
    QSaveFile target(destination);
    if (!target.open(QIODevice::WriteOnly) ||
        !readInPieces(
            picture.fd.get(),
            [&](QByteArrayView piece) { return target.write(piece.data(), piece.size()) == piece.size(); }) ||
        !target.commit())
        return QStringLiteral("cannot write %1: %2").arg(destination, target.errorString());
    return {};
}

QString writeAnswer(const QString &path, const QByteArray &body, const QDate &date) {
    QSaveFile target(path);
    if (!target.open(QIODevice::WriteOnly) || target.write(body) != body.size() || !target.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, target.errorString());
    // A time in the day before (never in the future when the answer is served), at seconds taken from the
    // content, so that a day exported again with another picture gets a new entity tag too.
    const int seconds =
        int(qFromBigEndian<quint16>(QCryptographicHash::hash(body, QCryptographicHash::Sha256).constData()));
    QFile written(path);
    if (!written.open(QIODevice::ReadWrite) ||
        !written.setFileTime(date.startOfDay(QTimeZone::utc()).addSecs(seconds - 86400),
                             QFileDevice::FileModificationTime))
        return QStringLiteral("cannot set the time of %1").arg(path);
    return {};
}

} // namespace

ParsedExportCommandLine parseExportCommandLine(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("把壁纸目录发布为静态文件，供任何网页服务器或 CDN 提供。\n"
                       "Publishes the folder as static files for any web server or CDN."));
    const QCommandLineOption root(QStringLiteral("root"), QStringLiteral("壁纸目录 / folder of pictures."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("输出目录 / folder to publish into."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("第一天 / first day."),
                                  QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption days(QStringLiteral("days"), QStringLiteral("天数 / number of days."),
                                  QStringLiteral("N"));
    const QCommandLineOption base(
        QStringLiteral("download-base"),
        QStringLiteral("下载链接前缀 / prefix of download links, e.g. "
                       "https://cdn.example.org/wallpaper/ (default: relative links)."),
        QStringLiteral("URL"));
    parser.addOptions({root, out, from, days, base});
    parser.addHelpOption();

    ParsedExportCommandLine result;
    const auto usageError = [&](const QString &message) {
        result.message = QStringLiteral("lumivra-server export: %1\n%2").arg(message, parser.helpText());
        result.exitCode = 2;
        return result;
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        result.message = parser.helpText();
        return result;
    }
    ExportOptions options;
    options.root = parser.value(root);
    options.out = parser.value(out);
    options.from = QDate::fromString(parser.value(from), Qt::ISODate);
    bool daysOk = false;
    options.days = parser.value(days).toInt(&daysOk);
    options.downloadBase = parser.value(base);
    if (options.root.isEmpty() || options.out.isEmpty())
        return usageError(QStringLiteral("--root and --out are needed"));
    if (!options.from.isValid() || parser.value(from).size() != 10)
        return usageError(QStringLiteral("invalid --from value (expected YYYY-MM-DD)"));
    if (!daysOk || options.days < 1 || options.days > maxDays)
        return usageError(QStringLiteral("--days must be between 1 and %1").arg(maxDays));
    if (!options.downloadBase.isEmpty() && !options.downloadBase.endsWith(u'/'))
        options.downloadBase += u'/';
    result.options = options;
    return result;
}

QString exportSite(const ExportOptions &options) {
    if (!QFileInfo(options.root).isDir())
        return QStringLiteral("wallpaper folder not found: %1").arg(options.root);
    const QDir out(options.out);
    if (!out.mkpath(QStringLiteral("today")))
        return QStringLiteral("cannot create %1").arg(out.filePath(QStringLiteral("today")));
    const WallpaperFolder folder(options.root);
    DigestCache digests;
    try {
        for (int offset = 0; offset < options.days; ++offset) {
            const QDate date = options.from.addDays(offset);
            const DailyWallpaper day = folder.wallpaperFor(date, digests);
            const QString directory = QStringLiteral("files/") + day.sha256.left(16) + u'/';
            if (const QString error =
                    copyPicture(folder, day, out.filePath(directory + day.wallpaper.fileName));
                !error.isEmpty())
                return error;
            const QByteArray body = todayRecord(day, options.downloadBase + directory);
            const QString answer =
                out.filePath(QStringLiteral("today/%1.json").arg(date.toString(Qt::ISODate)));
            if (const QString error = writeAnswer(answer, body, date); !error.isEmpty())
                return error;
        }
    } catch (const ApiError &error) {
        return error.message();
    }
    return {};
}

} // namespace lumivra::server
