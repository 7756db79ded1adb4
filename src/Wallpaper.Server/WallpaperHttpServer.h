#pragma once

#include "WallpaperFolder.h"

#include <QAbstractHttpServer>
#include <QDate>
#include <QHostAddress>
#include <optional>

namespace lumivra::server {

// The wallpaper service over HTTP/1.1:
//   GET api/client/wallpaper/today  today's picture described as JSON (id, effectiveDate, fileName,
//                                   contentType, length, sha256, downloadUrl)
//   GET files/<name>                the picture's bytes
// HEAD is answered like GET without the body. Every failure carries {"error": "<sentence>"}.
//
// Built on QAbstractHttpServer rather than QHttpServer's router so that the raw request path can be
// inspected before any decoding (an encoded "/" must not become a path separator) and so that files can be
// streamed with flow control.
class WallpaperHttpServer : public QAbstractHttpServer {
public:
    // `pinnedDate` replaces the local calendar date as "today" (for tests and demonstrations).
    explicit WallpaperHttpServer(const QString &root, std::optional<QDate> pinnedDate = std::nullopt,
                                 QObject *parent = nullptr);

    // Starts accepting connections; port 0 picks a free one. Returns the port, or nothing with the
    // reason in `error`.
    std::optional<quint16> listenOn(const QHostAddress &address, quint16 port, QString *error = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    void answerToday(const QHttpServerRequest &request, QTcpSocket *socket, bool withBody);
    void answerFile(const QHttpServerRequest &request, QTcpSocket *socket, const QString &fileName,
                    bool withBody);

    WallpaperFolder m_folder;
    std::optional<QDate> m_pinnedDate;
};

} // namespace lumivra::server
