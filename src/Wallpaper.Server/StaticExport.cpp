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
#include <QSet>
#include <QTimeZone>
#include <QtEndian>
#include <fcntl.h>
#include <sys/stat.h>

namespace lumivra::server {

namespace {

// A few years of days; far more is a typo, not a plan.
constexpr int maxDays = 3660;

// Why one day, or one file of it, could not be published.
struct ExportFailure {
    QString message;
};

// Where a picture of this digest lives in the tree, relative to it.
QString pictureDirectory(const QString &sha256) {
    return QStringLiteral("files/") + sha256.left(16) + u'/';
}

QString answerPlace(const QDate &date) {
    return QStringLiteral("today/%1.json").arg(date.toString(Qt::ISODate));
}

// Web servers send a file's modification time as Last-Modified and build entity tags from it. No time zone
// has reached the day before its start in UTC+14, so the time is never in the future while the day's answer
// is served; its seconds come from the content, so a day exported again with another picture gets a new
// entity tag, and the 18 hours they span keep days apart.
QDateTime answerTime(const QDate &date, const QByteArray &body) {
    const int seconds =
        int(qFromBigEndian<quint16>(QCryptographicHash::hash(body, QCryptographicHash::Sha256).constData()));
    return date.startOfDay(QTimeZone(14 * 3600)).addSecs(seconds - 86400);
}

// The time is set before the rename, so the answer is never served with the time of writing.
void writeAnswer(const QString &path, const QByteArray &body, const QDate &date) {
    QSaveFile target(path);
    if (!target.open(QIODevice::WriteOnly) || target.write(body) != body.size() || !target.flush() ||
        !target.setFileTime(answerTime(date, body), QFileDevice::FileModificationTime) || !target.commit())
        throw ExportFailure{QStringLiteral("cannot write %1: %2").arg(path, target.errorString())};
}

// Copies from the descriptor that was hashed and hashes again on the way: a picture rewritten in place
// meanwhile is not published under a digest its bytes no longer have.
void copyPicture(const OpenedPicture &picture, const QString &sha256, const QString &path) {
    if (!QDir().mkpath(QFileInfo(path).path()))
        throw ExportFailure{QStringLiteral("cannot create %1").arg(QFileInfo(path).path())};
    QSaveFile target(path);
    const auto copied =
        target.open(QIODevice::WriteOnly)
            ? sha256OfFile(picture.fd.get(),
                           [&](QByteArrayView piece) {
                               return target.write(piece.data(), piece.size()) == piece.size();
                           })
            : std::nullopt;
    if (copied && *copied != sha256)
        throw ExportFailure{
            QStringLiteral("%1 changed while it was exported; export again").arg(picture.wallpaper.fileName)};
    if (!copied || !target.commit())
        throw ExportFailure{QStringLiteral("cannot write %1: %2").arg(path, target.errorString())};
}

class SiteExport {
public:
    explicit SiteExport(const ExportOptions &options)
        : m_options(options), m_out(options.out), m_folder(options.root) {}

    QStringList run() {
        if (!QFileInfo(m_options.root).isDir())
            return {QStringLiteral("wallpaper folder not found: %1").arg(m_options.root)};
        if (!m_out.mkpath(QStringLiteral("today")))
            return {QStringLiteral("cannot create %1").arg(m_out.filePath(QStringLiteral("today")))};
        QStringList problems;
        try {
            m_names = m_folder.pictureNames();
        } catch (const ApiError &error) {
            return {error.message()};
        }
        for (int offset = 0; offset < m_options.days; ++offset) {
            const QDate date = m_options.from.addDays(offset);
            try {
                exportDay(date);
            } catch (const ApiError &error) {
                problems.append(date.toString(Qt::ISODate) + QStringLiteral(": ") + error.message());
            } catch (const ExportFailure &failure) {
                problems.append(date.toString(Qt::ISODate) + QStringLiteral(": ") + failure.message);
            }
        }
        if (m_options.prune)
            problems += prune();
        return problems;
    }

private:
    void exportDay(const QDate &date) {
        const QString name = m_folder.nameFor(date, m_names);
        const OpenedPicture picture = m_folder.open(name);
        const auto sha256 = m_digests.digest(name, picture.fd.get(), picture.status);
        if (!sha256)
            throw ExportFailure{QStringLiteral("cannot read %1").arg(name)};
        const QString directory = pictureDirectory(*sha256);
        const QString place = directory + name;
        publish(picture, *sha256, place);
        const DailyWallpaper day{picture.wallpaper, date, QFileInfo(m_out.filePath(place)).size(), *sha256};
        writeAnswer(m_out.filePath(answerPlace(date)), todayRecord(day, m_options.downloadBase + directory),
                    date);
        m_answers.insert(answerPlace(date));
    }

    // A file already in the picture's place stays only when its bytes have the digest the place names: the
    // same size proves nothing.
    void publish(const OpenedPicture &picture, const QString &sha256, const QString &place) {
        if (m_published.contains(place))
            return;
        const QString path = m_out.filePath(place);
        const UniqueFd existing(
            ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!existing.valid() || sha256OfFile(existing.get()) != sha256)
            copyPicture(picture, sha256, path);
        m_published.insert(place);
    }

    // Takes down every answer and picture this run did not write or check, so a picture taken out of the
    // folder or the range stops being published here. Only the layout's own files are touched.
    QStringList prune() {
        QStringList problems;
        const auto remove = [&](const QString &place, const QSet<QString> &kept) {
            if (!kept.contains(place) && !m_out.remove(place))
                problems.append(QStringLiteral("cannot remove %1").arg(m_out.filePath(place)));
        };
        const auto entries = [&](const QString &directory) {
            return QDir(m_out.filePath(directory)).entryList(QDir::Files | QDir::Hidden | QDir::System);
        };
        for (const QString &name : entries(QStringLiteral("today")))
            remove(QStringLiteral("today/") + name, m_answers);
        QDir files(m_out.filePath(QStringLiteral("files")));
        for (const QString &directory : files.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
            for (const QString &name : entries(QStringLiteral("files/") + directory))
                remove(QStringLiteral("files/%1/%2").arg(directory, name), m_published);
            files.rmdir(directory); // only once nothing is left in it
        }
        return problems;
    }

    const ExportOptions &m_options;
    QDir m_out;
    const WallpaperFolder m_folder;
    QStringList m_names;
    DigestCache m_digests;
    // Places relative to the tree, of what this run wrote or checked.
    QSet<QString> m_published;
    QSet<QString> m_answers;
};

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
    const QCommandLineOption from(QStringLiteral("from"),
                                  QStringLiteral("第一天（默认今天）/ first day (default: today)."),
                                  QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption days(QStringLiteral("days"), QStringLiteral("天数 / number of days."),
                                  QStringLiteral("N"));
    const QCommandLineOption base(
        QStringLiteral("download-base"),
        QStringLiteral("下载链接前缀 / prefix of download links, e.g. "
                       "https://cdn.example.org/wallpaper/ (default: relative links)."),
        QStringLiteral("URL"));
    const QCommandLineOption prune(
        QStringLiteral("prune"),
        QStringLiteral(
            "删除本次未写入的答复（范围外或无法提供的日期）和不再引用的图片 / remove the answers "
            "this export did not write (outside the range or unservable) and pictures no answer names."));
    parser.addOptions({root, out, from, days, base, prune});
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
    options.from =
        parser.isSet(from) ? QDate::fromString(parser.value(from), Qt::ISODate) : QDate::currentDate();
    bool daysOk = false;
    options.days = parser.value(days).toInt(&daysOk);
    options.downloadBase = parser.value(base);
    options.prune = parser.isSet(prune);
    if (options.root.isEmpty() || options.out.isEmpty())
        return usageError(QStringLiteral("--root and --out are needed"));
    if (!options.from.isValid() || (parser.isSet(from) && parser.value(from).size() != 10))
        return usageError(QStringLiteral("invalid --from value (expected YYYY-MM-DD)"));
    if (!daysOk || options.days < 1 || options.days > maxDays)
        return usageError(QStringLiteral("--days must be between 1 and %1").arg(maxDays));
    if (!options.downloadBase.isEmpty() && !options.downloadBase.endsWith(u'/'))
        options.downloadBase += u'/';
    result.options = options;
    return result;
}

QStringList exportSite(const ExportOptions &options) {
    return SiteExport(options).run();
}

} // namespace lumivra::server
