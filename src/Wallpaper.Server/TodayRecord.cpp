#include "TodayRecord.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace lumivra::server {

QByteArray todayRecord(const DailyWallpaper &today, const QString &downloadPrefix) {
    const QJsonObject record{
        {QStringLiteral("id"), today.wallpaper.id},
        {QStringLiteral("effectiveDate"), today.effectiveDate.toString(Qt::ISODate)},
        {QStringLiteral("fileName"), today.wallpaper.fileName},
        {QStringLiteral("contentType"), QString::fromLatin1(today.wallpaper.contentType)},
        {QStringLiteral("length"), today.length},
        {QStringLiteral("sha256"), today.sha256},
        {QStringLiteral("downloadUrl"),
         downloadPrefix + QString::fromLatin1(QUrl::toPercentEncoding(today.wallpaper.fileName))},
    };
    return QJsonDocument(record).toJson(QJsonDocument::Compact);
}

} // namespace lumivra::server
