#include "WallpaperHttpServer.h"

#include "ApiError.h"
#include "TodayRecord.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QTimeZone>
#include <QUrl>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

namespace lumivra::server {

namespace {

constexpr auto todayPath = "/api/client/wallpaper/today";
constexpr auto filesPrefix = "/files/";
// Descriptors kept free of connections: the listening socket, the library's own, the folder, files being
// sent, the process's standard streams.
constexpr unsigned reservedDescriptors = 64;
// Whatever a client sends back to itself in an error text is cut to this many characters.
constexpr qsizetype echoLimit = 200;

const char *const jsonType = "application/json; charset=utf-8";

using Headers = std::initializer_list<std::pair<const char *, QByteArray>>;

QByteArray httpDate(qint64 secondsSinceEpoch) {
    return QLocale::c()
        .toString(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, QTimeZone::utc()),
                  u"ddd, dd MMM yyyy hh:mm:ss 'GMT'")
        .toLatin1();
}

QString echoed(const QString &text) {
    return text.size() <= echoLimit ? text : text.left(echoLimit) + u'…';
}

const char *requestHeader(MHD_Connection *connection, const char *name) {
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
}

// True when the request's If-None-Match names the entity tag, so the client's copy is still current.
bool matchesEntityTag(MHD_Connection *connection, const QByteArray &entityTag) {
    const QByteArray header(requestHeader(connection, "If-None-Match"));
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

// A request that announces a body is answered without reading it, and the connection then closes: what
// remains of the body cannot be told apart from a next request.
bool announcesBody(MHD_Connection *connection) {
    const char *length = requestHeader(connection, "Content-Length");
    return requestHeader(connection, "Transfer-Encoding") || (length && std::strcmp(length, "0") != 0);
}

MHD_Result send(MHD_Connection *connection, int status, MHD_Response *response, Headers headers) {
    for (const auto &[name, value] : headers)
        MHD_add_response_header(response, name, value.constData());
    if (announcesBody(connection))
        MHD_add_response_header(response, "Connection", "close");
    const MHD_Result queued = MHD_queue_response(connection, unsigned(status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result sendBuffer(MHD_Connection *connection, int status, const QByteArray &body, Headers headers) {
    MHD_Response *response = MHD_create_response_from_buffer(
        size_t(body.size()), const_cast<char *>(body.constData()), MHD_RESPMEM_MUST_COPY);
    return response ? send(connection, status, response, headers) : MHD_NO;
}

MHD_Result sendError(MHD_Connection *connection, const ApiError &error, Headers extra = {}) {
    MHD_Response *response = MHD_create_response_from_buffer(
        size_t(error.body().size()), const_cast<char *>(error.body().constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, "Content-Type", jsonType);
    MHD_add_response_header(response, "Cache-Control", "no-store");
    if (error.status() == 503)
        MHD_add_response_header(response, "Retry-After", "2");
    return send(connection, error.status(), response, extra);
}

MHD_Result answerFile(MHD_Connection *connection, const WallpaperFolder &folder, const QString &fileName) {
    OpenedPicture picture = folder.open(fileName);
    const struct stat &status = picture.status;
    // Size and modification time identify the version without reading the file, like the digest cache.
    const QByteArray entityTag = '"' + QByteArray::number(qint64(status.st_mtime) * 1000, 16) + '-' +
                                 QByteArray::number(qint64(status.st_size), 16) + '"';
    if (matchesEntityTag(connection, entityTag))
        return sendBuffer(connection, 304, {}, {{"Cache-Control", "no-cache"}, {"ETag", entityTag}});
    MHD_Response *response = MHD_create_response_from_fd64(uint64_t(status.st_size), picture.fd.get());
    if (!response)
        throw ApiError(500, QStringLiteral("读取壁纸文件失败：%1。").arg(fileName));
    picture.fd.release(); // the response closes it once sent
    return send(connection, 200, response,
                {{"Content-Type", picture.wallpaper.contentType},
                 {"Cache-Control", "no-cache"},
                 {"ETag", entityTag},
                 {"Last-Modified", httpDate(status.st_mtime)}});
}

// The request path exactly as sent: an encoded "/" inside a file name must not become a separator.
size_t keepEscapes(void *, MHD_Connection *, char *uri) {
    return std::strlen(uri);
}

MHD_Result onRequest(void *server, MHD_Connection *connection, const char *url, const char *method,
                     const char *, const char *, size_t *, void **) {
    return MHD_Result(static_cast<WallpaperHttpServer *>(server)->answer(connection, url, method));
}

void onConnection(void *server, MHD_Connection *connection, void **, MHD_ConnectionNotificationCode code) {
    const MHD_ConnectionInfo *info =
        code == MHD_CONNECTION_NOTIFY_STARTED
            ? MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)
            : nullptr;
    static_cast<WallpaperHttpServer *>(server)->connectionChanged(connection, info ? info->connect_fd : -1);
}

void onCompleted(void *server, MHD_Connection *connection, void **, MHD_RequestTerminationCode) {
    static_cast<WallpaperHttpServer *>(server)->requestCompleted(connection);
}

// Connections beyond what the open-file limit allows would make accept() fail over and over.
unsigned connectionCap(unsigned wanted) {
    struct rlimit files = {};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
        return wanted;
    const rlim_t usable =
        files.rlim_cur > 2 * reservedDescriptors ? files.rlim_cur - reservedDescriptors : files.rlim_cur / 2;
    return unsigned(std::min<rlim_t>(wanted, usable));
}

int listeningSocket(const QHostAddress &address, quint16 port, QString *error) {
    sockaddr_storage storage = {};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6->sin6_addr, &bytes, sizeof bytes);
        length = sizeof *v6;
    } else {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *v4;
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM, 0);
    if (fd >= 0)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    const int on = 1;
    if (fd >= 0 && storage.ss_family == AF_INET6)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr *>(&storage), length) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

quint16 boundPort(int fd) {
    sockaddr_storage storage = {};
    socklen_t length = sizeof storage;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&storage), &length);
    return storage.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port)
                                         : ntohs(reinterpret_cast<sockaddr_in *>(&storage)->sin_port);
}

} // namespace

WallpaperHttpServer::WallpaperHttpServer(const QString &root, std::optional<QDate> pinnedDate,
                                         const ServerLimits &limits)
    : m_limits(limits), m_index(root, pinnedDate, limits.rescanInterval),
      m_deadlines(std::clamp(limits.headTimeout / 4, std::chrono::milliseconds(10),
                             std::chrono::milliseconds(1000))) {
    // sendfile() to a client that has gone raises SIGPIPE, which would end the process.
    std::signal(SIGPIPE, SIG_IGN);
}

WallpaperHttpServer::~WallpaperHttpServer() {
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
}

std::optional<quint16> WallpaperHttpServer::listenOn(const QHostAddress &address, quint16 port,
                                                     QString *error) {
    const int fd = listeningSocket(address, port, error);
    if (fd < 0)
        return std::nullopt;
    const quint16 bound = boundPort(fd);
    m_daemon = MHD_start_daemon(
        MHD_USE_AUTO | MHD_USE_INTERNAL_POLLING_THREAD, 0, nullptr, nullptr, &onRequest, this,
        MHD_OPTION_LISTEN_SOCKET, fd, MHD_OPTION_CONNECTION_LIMIT, connectionCap(m_limits.maxConnections),
        MHD_OPTION_CONNECTION_TIMEOUT, unsigned(m_limits.inactivityTimeout.count()),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, m_limits.connectionMemory, MHD_OPTION_UNESCAPE_CALLBACK,
        &keepEscapes, nullptr, MHD_OPTION_NOTIFY_CONNECTION, &onConnection, this, MHD_OPTION_NOTIFY_COMPLETED,
        &onCompleted, this, MHD_OPTION_END);
    if (!m_daemon) {
        ::close(fd);
        if (error)
            *error = QStringLiteral("the HTTP library could not start");
        return std::nullopt;
    }
    return bound;
}

int WallpaperHttpServer::answerToday(MHD_Connection *connection) {
    const DailyWallpaper today = m_index.today();
    // The same answer goes to every client all day: it is encoded and tagged once.
    if (today.sha256 != m_today.sha256 || today.effectiveDate != m_today.date ||
        today.wallpaper.fileName != m_today.fileName) {
        m_today.body = todayRecord(today, QStringLiteral("files/"));
        // The record names the day, so its tag changes at midnight: a client that revalidates (no-cache)
        // always learns about the new day's picture.
        m_today.entityTag =
            '"' + QCryptographicHash::hash(m_today.body, QCryptographicHash::Sha256).toHex().left(32) + '"';
        m_today.sha256 = today.sha256;
        m_today.date = today.effectiveDate;
        m_today.fileName = today.wallpaper.fileName;
    }
    if (matchesEntityTag(connection, m_today.entityTag))
        return sendBuffer(connection, 304, {}, {{"Cache-Control", "no-cache"}, {"ETag", m_today.entityTag}});
    return sendBuffer(
        connection, 200, m_today.body,
        {{"Content-Type", jsonType}, {"Cache-Control", "no-cache"}, {"ETag", m_today.entityTag}});
}

void WallpaperHttpServer::connectionChanged(MHD_Connection *connection, int openedFd) {
    if (openedFd >= 0)
        m_deadlines.opened(connection, openedFd, m_limits.headTimeout);
    else
        m_deadlines.closed(connection);
}

void WallpaperHttpServer::requestCompleted(MHD_Connection *connection) {
    m_deadlines.awaitNextHead(connection, m_limits.keepAliveTimeout);
}

int WallpaperHttpServer::answer(MHD_Connection *connection, const char *url, const char *method) {
    m_deadlines.headComplete(connection);
    const QByteArray path(url);
    const bool isToday = path == todayPath;
    const bool isFile = path.startsWith(filesPrefix);
    try {
        if (!isToday && !isFile)
            throw ApiError(404, QStringLiteral("找不到请求的地址：%1。")
                                    .arg(echoed(QString::fromUtf8(QByteArray::fromPercentEncoding(path)))));
        if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 && std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0)
            return sendError(connection,
                             ApiError(405, QStringLiteral("不支持的请求方法 %1：此地址只接受 GET 和 HEAD。")
                                               .arg(echoed(QString::fromLatin1(method)))),
                             {{"Allow", "GET, HEAD"}});
        if (isToday)
            return answerToday(connection);
        return answerFile(connection, m_index.folder(),
                          QString::fromUtf8(QByteArray::fromPercentEncoding(
                              path.mid(qsizetype(std::strlen(filesPrefix))))));
    } catch (const ApiError &error) {
        return sendError(connection, error);
    }
}

} // namespace lumivra::server
