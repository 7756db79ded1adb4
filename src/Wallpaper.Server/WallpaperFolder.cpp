#include "WallpaperFolder.h"

#include "ApiError.h"
#include "ImageTypes.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace lumivra::server {

namespace {

bool isInside(const QString &canonicalPath, const QString &canonicalRoot) {
    return canonicalPath.startsWith(canonicalRoot + u'/') && canonicalPath.size() > canonicalRoot.size() + 1;
}

} // namespace

WallpaperFolder::WallpaperFolder(const QString &root) : m_root(QDir(root).absolutePath()) {}

QStringList WallpaperFolder::pictureNames() const {
    const QString canonicalRoot = m_root.canonicalPath();
    if (canonicalRoot.isEmpty())
        throw ApiError(500, QStringLiteral("壁纸目录无法读取：%1。").arg(root()));
    QStringList names;
    const auto entries = m_root.entryInfoList(QDir::Files | QDir::Readable, QDir::NoSort);
    for (const QFileInfo &entry : entries) {
        if (!imageContentType(entry.fileName()).isEmpty() &&
            isInside(entry.canonicalFilePath(), canonicalRoot))
            names.append(entry.fileName());
    }
    // Code-point order rather than locale collation: every machine must rotate in the same order.
    std::sort(names.begin(), names.end());
    return names;
}

Wallpaper WallpaperFolder::picture(const QString &fileName) const {
    if (fileName.isEmpty() || fileName == u"." || fileName == u".." || fileName.contains(u'/') ||
        fileName.contains(u'\\') || fileName.contains(QChar(0)))
        throw ApiError(400, QStringLiteral("壁纸文件名无效：只能是壁纸目录中的一个文件名。"));
    const QByteArray contentType = imageContentType(fileName);
    if (contentType.isEmpty())
        throw ApiError(404, QStringLiteral("找不到壁纸文件：%1。").arg(fileName));
    const QFileInfo info(m_root.filePath(fileName));
    if (!info.exists())
        throw ApiError(404, QStringLiteral("找不到壁纸文件：%1。").arg(fileName));
    // A link inside the folder may point anywhere; only what really lies in the folder is served.
    if (!isInside(info.canonicalFilePath(), m_root.canonicalPath()))
        throw ApiError(400, QStringLiteral("壁纸文件名无效：%1 指向壁纸目录之外。").arg(fileName));
    if (!info.isFile())
        throw ApiError(404, QStringLiteral("找不到壁纸文件：%1。").arg(fileName));
    return Wallpaper{idFor(fileName), fileName, info.absoluteFilePath(), contentType};
}

DailyWallpaper WallpaperFolder::wallpaperFor(const QDate &date) {
    DailyWallpaper daily{{}, date, 0, {}};
    const QString scheduled = scheduledName(date);
    if (scheduled.isEmpty()) {
        const QStringList names = pictureNames();
        if (names.isEmpty())
            throw ApiError(404, QStringLiteral("壁纸目录中还没有可用的壁纸。"));
        const qint64 count = names.size();
        const qint64 day = QDate(1970, 1, 1).daysTo(date);
        daily.wallpaper = picture(names.at(qsizetype(((day % count) + count) % count)));
    } else {
        try {
            daily.wallpaper = picture(scheduled);
        } catch (const ApiError &error) {
            // The client asked for nothing wrong: a bad name here is the schedule's fault, not a bad request.
            throw ApiError(error.status() == 404 ? 404 : 500,
                           QStringLiteral("排期文件 %1 为 %2 指定的壁纸 %3 不存在或无法提供。")
                               .arg(QLatin1String(scheduleFileName), date.toString(Qt::ISODate), scheduled));
        }
    }
    const QString &name = daily.wallpaper.fileName;
    const auto sha256 = m_digests.digest(daily.wallpaper.path);
    if (!sha256)
        throw ApiError(500, QStringLiteral("读取壁纸文件失败：%1。").arg(name));
    daily.sha256 = *sha256;
    daily.length = QFileInfo(daily.wallpaper.path).size();
    return daily;
}

QString WallpaperFolder::scheduledName(const QDate &date) const {
    QFile schedule(m_root.filePath(QString::fromLatin1(scheduleFileName)));
    if (!schedule.exists())
        return {};
    if (!schedule.open(QIODevice::ReadOnly))
        throw ApiError(500, QStringLiteral("排期文件 %1 无法读取。").arg(QLatin1String(scheduleFileName)));
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(schedule.readAll(), &parseError);
    if (!document.isObject())
        throw ApiError(
            500,
            QStringLiteral("排期文件 %1 格式错误：应为以日期（YYYY-MM-DD）为键、文件名为值的 JSON 对象。")
                .arg(QLatin1String(scheduleFileName)));
    const QJsonValue entry = document.object().value(date.toString(Qt::ISODate));
    if (entry.isUndefined())
        return {};
    if (!entry.isString() || entry.toString().isEmpty())
        throw ApiError(500, QStringLiteral("排期文件 %1 中 %2 的值应为文件名。")
                                .arg(QLatin1String(scheduleFileName), date.toString(Qt::ISODate)));
    return entry.toString();
}

qint64 WallpaperFolder::idFor(const QString &fileName) {
    const QByteArray digest = QCryptographicHash::hash(fileName.toUtf8(), QCryptographicHash::Sha256);
    qint64 id = 0;
    for (int i = 0; i < 6; ++i)
        id = (id << 8) | quint8(digest.at(i));
    return id;
}

} // namespace lumivra::server
