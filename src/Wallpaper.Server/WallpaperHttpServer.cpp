#include "WallpaperHttpServer.h"

#include "ApiError.h"
#include "FileStreamer.h"
#include "HttpReply.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMetaEnum>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace lumivra::server {

namespace {

constexpr auto todayPath = "/api/client/wallpaper/today";
constexpr auto filesPrefix = "/files/";

const QByteArray jsonType = "application/json; charset=utf-8";

QByteArray httpDate(const QDateTime &time) {
    return QLocale::c().toString(time.toUTC(), u"ddd, dd MMM yyyy hh:mm:ss 'GMT'").toLatin1();
}

// True when the request's If-None-Match names the entity tag, so the client's copy is still current.
bool matchesEntityTag(const QHttpServerRequest &request, const QByteArray &entityTag) {
    const QByteArray header = request.value("If-None-Match");
    if (header.trimmed() == "*")
        return true;
    const auto candidates = header.split(',');
    for (const QByteArray &candidate : candidates) {
        QByteArray tag = candidate.trimmed();
        if (tag.startsWith("W/"))
            tag = tag.mid(2);
        if (tag == entityTag)
            return true;
    }
    return false;
}

void sendError(QTcpSocket *socket, const ApiError &error, bool withBody, HeaderList headers = {}) {
    headers.append(QPair<QByteArray, QByteArray>("Content-Type", jsonType));
    headers.append(QPair<QByteArray, QByteArray>("Cache-Control", "no-store"));
    writeResponse(socket, error.status(), headers, error.body(), withBody);
}

} // namespace

WallpaperHttpServer::WallpaperHttpServer(const QString &root, std::optional<QDate> pinnedDate,
                                         QObject *parent)
    : QAbstractHttpServer(parent), m_folder(root), m_pinnedDate(pinnedDate) {}

std::optional<quint16> WallpaperHttpServer::listenOn(const QHostAddress &address, quint16 port,
                                                     QString *error) {
    auto *server = new QTcpServer(this);
    if (!server->listen(address, port)) {
        if (error)
            *error = server->errorString();
        delete server;
        return std::nullopt;
    }
    bind(server);
    return server->serverPort();
}

bool WallpaperHttpServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) {
    // A request pipelined behind a file still being sent cannot be answered in order; the connection
    // closes once the file is out, and the client sends it again on a new one.
    if (socket->findChild<FileStreamer *>())
        return true;
    // Still percent-encoded, so that "%2F" inside a file name cannot pass for a separator.
    const QString path = request.url().path(QUrl::FullyEncoded);
    const bool isToday = path == QLatin1String(todayPath);
    const bool isFile = path.startsWith(QLatin1String(filesPrefix));
    if (!isToday && !isFile)
        return false;

    const auto method = request.method();
    const bool withBody = method != QHttpServerRequest::Method::Head;
    try {
        if (method != QHttpServerRequest::Method::Get && method != QHttpServerRequest::Method::Head) {
            const QString name =
                QString::fromLatin1(QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(method)))
                    .toUpper();
            sendError(
                socket,
                ApiError(405, QStringLiteral("不支持的请求方法 %1：此地址只接受 GET 和 HEAD。").arg(name)),
                true, {{"Allow", "GET, HEAD"}});
            return true;
        }
        if (isToday) {
            answerToday(request, socket, withBody);
        } else {
            const QByteArray encodedName = path.mid(qsizetype(qstrlen(filesPrefix))).toLatin1();
            answerFile(request, socket, QString::fromUtf8(QByteArray::fromPercentEncoding(encodedName)),
                       withBody);
        }
    } catch (const ApiError &error) {
        sendError(socket, error, withBody);
    }
    return true;
}

void WallpaperHttpServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) {
    const QString path = request.url().path();
    sendError(socket, ApiError(404, QStringLiteral("找不到请求的地址：%1。").arg(path)),
              request.method() != QHttpServerRequest::Method::Head);
}

void WallpaperHttpServer::answerToday(const QHttpServerRequest &request, QTcpSocket *socket, bool withBody) {
    const DailyWallpaper today = m_folder.wallpaperFor(m_pinnedDate.value_or(QDate::currentDate()));
    const QJsonObject record{
        {QStringLiteral("id"), today.wallpaper.id},
        {QStringLiteral("effectiveDate"), today.effectiveDate.toString(Qt::ISODate)},
        {QStringLiteral("fileName"), today.wallpaper.fileName},
        {QStringLiteral("contentType"), QString::fromLatin1(today.wallpaper.contentType)},
        {QStringLiteral("length"), today.length},
        {QStringLiteral("sha256"), today.sha256},
        {QStringLiteral("downloadUrl"),
         QStringLiteral("files/") + QString::fromLatin1(QUrl::toPercentEncoding(today.wallpaper.fileName))},
    };
    const QByteArray body = QJsonDocument(record).toJson(QJsonDocument::Compact);
    // The record names the day, so its tag changes at midnight: a client that revalidates (no-cache)
    // always learns about the new day's picture.
    const QByteArray entityTag =
        '"' + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex().left(32) + '"';
    const HeaderList headers{{"Content-Type", jsonType}, {"Cache-Control", "no-cache"}, {"ETag", entityTag}};
    if (matchesEntityTag(request, entityTag))
        writeResponseHead(socket, 304, {{"Cache-Control", "no-cache"}, {"ETag", entityTag}});
    else
        writeResponse(socket, 200, headers, body, withBody);
}

void WallpaperHttpServer::answerFile(const QHttpServerRequest &request, QTcpSocket *socket,
                                     const QString &fileName, bool withBody) {
    const Wallpaper wallpaper = m_folder.picture(fileName);
    auto file = std::make_unique<QFile>(wallpaper.path);
    if (!file->open(QIODevice::ReadOnly))
        throw ApiError(500, QStringLiteral("读取壁纸文件失败：%1。").arg(fileName));
    const QFileInfo info(*file);
    const qint64 length = file->size();
    // Size and modification time identify the version without reading the file, like the digest cache.
    const QByteArray entityTag = '"' + QByteArray::number(info.lastModified().toMSecsSinceEpoch(), 16) + '-' +
                                 QByteArray::number(length, 16) + '"';
    HeaderList headers{{"Content-Type", wallpaper.contentType},
                       {"Content-Length", QByteArray::number(length)},
                       {"Cache-Control", "no-cache"},
                       {"ETag", entityTag},
                       {"Last-Modified", httpDate(info.lastModified())}};
    if (matchesEntityTag(request, entityTag)) {
        writeResponseHead(socket, 304, {{"Cache-Control", "no-cache"}, {"ETag", entityTag}});
        return;
    }
    const bool streamed = withBody && length > 0;
    if (streamed)
        headers.append(QPair<QByteArray, QByteArray>("Connection", "close"));
    writeResponseHead(socket, 200, headers);
    if (streamed)
        FileStreamer::start(socket, std::move(file), length);
}

} // namespace lumivra::server
