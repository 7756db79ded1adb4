#pragma once

#include "ConnectionDeadlines.h"
#include "FolderIndex.h"
#include "ServerLimits.h"

#include <QDate>
#include <QHostAddress>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

struct MHD_Daemon;
struct MHD_Connection;
struct MHD_Response;

namespace lumivra::server {

// The wallpaper service over HTTP/1.1:
//   GET api/client/wallpaper/today  today's picture described as JSON (id, effectiveDate, fileName,
//                                   contentType, length, sha256, downloadUrl)
//   GET files/<name>                the picture's bytes
// HEAD is answered like GET without the body. Every failure carries {"error": "<sentence>"}.
//
// libmicrohttpd does the HTTP on a pool of threads, one per processor, with the bounds of ServerLimits;
// connections are kept alive between requests, and files go out with sendfile from the descriptor that
// was checked. Request bodies are never read: no request needs one.
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

    // Called by libmicrohttpd for a request whose head is complete, twice at least; `request` is the
    // request's own slot, empty on the first call. Returns an MHD_Result; int keeps the library's header
    // out of this one.
    int answer(MHD_Connection *connection, const char *url, const char *method, void **request);
    // Called by libmicrohttpd as connections open (with their socket) and close (with -1).
    void connectionChanged(MHD_Connection *connection, int openedFd);
    // Called by libmicrohttpd once an answer has gone out.
    void requestCompleted(MHD_Connection *connection);

private:
    // Today's answer, encoded and tagged once for every client; defined where it is made.
    struct EncodedToday;

    int answerToday(MHD_Connection *connection);
    int answerFile(MHD_Connection *connection, const QString &fileName);
    // Queues `response` (which stays the caller's) and gives the client until the answer's size at the
    // minimum send rate to take it; `file` is the picture the answer sends, watched for shrinking.
    int queue(MHD_Connection *connection, unsigned status, MHD_Response *response, std::uint64_t bytes,
              std::optional<ConnectionDeadlines::SentFile> file = std::nullopt);

    ServerLimits m_limits;
    FolderIndex m_index;
    ConnectionDeadlines m_deadlines;
    // The library's threads share it: each takes the pointer under the lock and uses what it points to,
    // which never changes, unlocked.
    std::mutex m_todayMutex;
    std::shared_ptr<const EncodedToday> m_today;
    MHD_Daemon *m_daemon = nullptr;
};

} // namespace lumivra::server
