#pragma once

#include "FolderIndex.h"
#include "HeadDeadlines.h"
#include "ServerLimits.h"

#include <QDate>
#include <QHostAddress>
#include <memory>
#include <optional>

struct MHD_Daemon;
struct MHD_Connection;

namespace lumivra::server {

// The wallpaper service over HTTP/1.1:
//   GET api/client/wallpaper/today  today's picture described as JSON (id, effectiveDate, fileName,
//                                   contentType, length, sha256, downloadUrl)
//   GET files/<name>                the picture's bytes
// HEAD is answered like GET without the body. Every failure carries {"error": "<sentence>"}.
//
// libmicrohttpd does the HTTP on a thread of its own, with the bounds of ServerLimits; files go out with
// sendfile from the descriptor that was checked. Request bodies are never read: no request needs one.
class WallpaperHttpServer {
public:
    // `pinnedDate` replaces the local calendar date as "today" (for tests and demonstrations).
    explicit WallpaperHttpServer(const QString &root, std::optional<QDate> pinnedDate = std::nullopt,
                                 const ServerLimits &limits = {});
    ~WallpaperHttpServer();
    WallpaperHttpServer(const WallpaperHttpServer &) = delete;
    WallpaperHttpServer &operator=(const WallpaperHttpServer &) = delete;

    // Starts accepting connections; port 0 picks a free one. Returns the port, or nothing with the
    // reason in `error`.
    std::optional<quint16> listenOn(const QHostAddress &address, quint16 port, QString *error = nullptr);

    // Called by libmicrohttpd once a request's head is complete; answers at once.
    int answer(MHD_Connection *connection, const char *url, const char *method);
    // Called by libmicrohttpd as connections open (with their socket) and close (with -1).
    void connectionChanged(MHD_Connection *connection, int openedFd);
    // Called by libmicrohttpd once an answer has gone out.
    void requestCompleted(MHD_Connection *connection);

private:
    // Returns an MHD_Result; int keeps the library's header out of this one.
    int answerToday(MHD_Connection *connection);

    // Today's answer as last sent; only the library's one thread touches it.
    struct EncodedToday {
        QString sha256;
        QDate date;
        QString fileName;
        QByteArray body;
        QByteArray entityTag;
    };

    ServerLimits m_limits;
    FolderIndex m_index;
    HeadDeadlines m_deadlines;
    EncodedToday m_today;
    MHD_Daemon *m_daemon = nullptr;
};

} // namespace lumivra::server
