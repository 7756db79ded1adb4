#include "WallpaperHttpServer.h"

#include "ApiError.h"
#include "TodayRecord.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLocale>
#include <QTimeZone>
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
#include <thread>

namespace lumivra::server {

namespace {

constexpr auto todayPath = "/api/client/wallpaper/today";
constexpr auto filesPrefix = "/files/";
// Descriptors kept free of connections: the listening socket, the library's own, the folder, the index's
// scan, the process's standard streams.
constexpr unsigned reservedDescriptors = 64;
// Whatever a client sends back to itself in an error text is cut to this many characters.
constexpr qsizetype echoLimit = 200;

const char *const jsonType = "application/json; charset=utf-8";

struct DestroysResponse {
    void operator()(MHD_Response *response) const { MHD_destroy_response(response); }
};
using OwnedResponse = std::unique_ptr<MHD_Response, DestroysResponse>;

using Headers = std::initializer_list<std::pair<const char *, QByteArray>>;

OwnedResponse withHeaders(MHD_Response *response, Headers headers) {
    OwnedResponse owned(response);
    for (const auto &[name, value] : headers) {
        if (owned)
            MHD_add_response_header(owned.get(), name, value.constData());
    }
    return owned;
}

OwnedResponse bufferResponse(const QByteArray &body, Headers headers) {
    return withHeaders(MHD_create_response_from_buffer(
                           size_t(body.size()), const_cast<char *>(body.constData()), MHD_RESPMEM_MUST_COPY),
                       headers);
}

ssize_t noBody(void *, uint64_t, char *, size_t) {
    return MHD_CONTENT_READER_END_WITH_ERROR;
}

// A 304 may state the length the 200 would have, or none, but never another (RFC 9110 §8.6). The library
// writes a response's size as its length even for a 304 and sends none of it, so the response has the
// 200's size and nothing behind it.
OwnedResponse notModified(std::uint64_t length, const QByteArray &entityTag) {
    return withHeaders(MHD_create_response_from_callback(length, 1, &noBody, nullptr, nullptr),
                       {{"Cache-Control", "no-cache"}, {"ETag", entityTag}});
}

OwnedResponse errorResponse(const ApiError &error) {
    OwnedResponse response =
        bufferResponse(error.body(), {{"Content-Type", jsonType}, {"Cache-Control", "no-store"}});
    if (response && error.status() == 503)
        MHD_add_response_header(response.get(), "Retry-After", "2");
    if (response && error.status() == 405)
        MHD_add_response_header(response.get(), "Allow", "GET, HEAD");
    return response;
}

QByteArray httpDate(qint64 secondsSinceEpoch) {
    return QLocale::c()
        .toString(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, QTimeZone::utc()),
                  u"ddd, dd MMM yyyy hh:mm:ss 'GMT'")
        .toLatin1();
}

// The identity the digest cache trusts, so that a replacement keeping size and modification time (cp -p)
// gets a new tag too; hashed, so that device and inode numbers stay private.
QByteArray entityTagOf(const FileIdentity &identity) {
    const QByteArray fields =
        QByteArray::number(qulonglong(identity.device)) + ' ' +
        QByteArray::number(qulonglong(identity.inode)) + ' ' + QByteArray::number(qlonglong(identity.size)) +
        ' ' + QByteArray::number(identity.modifiedNs) + ' ' + QByteArray::number(identity.changedNs);
    return '"' + QCryptographicHash::hash(fields, QCryptographicHash::Sha256).toHex().left(32) + '"';
}

QString echoed(const QString &text) {
    return text.size() <= echoLimit ? text : text.left(echoLimit) + u'…';
}

const char *requestHeader(MHD_Connection *connection, const char *name) {
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
}

// True when the request's If-None-Match names the entity tag, so the client's copy is still current.
bool matchesEntityTag(MHD_Connection *connection, const QByteArray &entityTag) {
    const char *header = requestHeader(connection, "If-None-Match");
    if (!header)
        return false;
    const QByteArray candidates(header);
    if (candidates.trimmed() == "*")
        return true;
    for (const QByteArray &candidate : candidates.split(',')) {
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

// The path of the request target. An absolute-form target (RFC 9112 §3.2.2), as sent to a proxy, names
// the same resource as its path.
QByteArray requestPath(const char *url) {
    if (url[0] == '/')
        return QByteArray(url);
    for (const char *scheme : {"http://", "https://"}) {
        const auto length = qsizetype(std::strlen(scheme));
        if (qstrnicmp(url, scheme, length) == 0) {
            const char *path = std::strchr(url + length, '/');
            return QByteArray(path ? path : "/");
        }
    }
    return QByteArray(url);
}

// The request path exactly as sent: an encoded "/" inside a file name must not become a separator.
size_t keepEscapes(void *, MHD_Connection *, char *uri) {
    return std::strlen(uri);
}

MHD_Result onRequest(void *server, MHD_Connection *connection, const char *url, const char *method,
                     const char *, const char *, size_t *, void **request) {
    return MHD_Result(static_cast<WallpaperHttpServer *>(server)->answer(connection, url, method, request));
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

// A connection sending a picture holds two descriptors; connections beyond what the open-file limit
// allows would make accept() fail over and over, or a picture that exists fail to open.
unsigned connectionCap(unsigned wanted) {
    struct rlimit files = {};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
        return wanted;
    const rlim_t usable = files.rlim_cur > rlim_t{2} * reservedDescriptors
                              ? files.rlim_cur - reservedDescriptors
                              : files.rlim_cur / 2;
    return unsigned(std::clamp<rlim_t>(usable / 2, 1, wanted));
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

// Made when the day, the picture or its digest changes, and shared by every answer until then. Answers
// under way keep the library's responses alive after it is dropped.
struct WallpaperHttpServer::EncodedToday {
    // The record names the day, so its tag changes at midnight: a client that revalidates (no-cache)
    // always learns about the new day's picture.
    explicit EncodedToday(const DailyWallpaper &today)
        : sha256(today.sha256), date(today.effectiveDate), fileName(today.wallpaper.fileName),
          body(todayRecord(today, QStringLiteral("files/"))),
          tag('"' + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex().left(32) + '"'),
          ok(bufferResponse(body,
                            {{"Content-Type", jsonType}, {"Cache-Control", "no-cache"}, {"ETag", tag}})),
          notModifiedResponse(notModified(std::uint64_t(body.size()), tag)) {}

    bool describes(const DailyWallpaper &today) const {
        return today.sha256 == sha256 && today.effectiveDate == date && today.wallpaper.fileName == fileName;
    }

    QString sha256;
    QDate date;
    QString fileName;
    QByteArray body;
    QByteArray tag;
    OwnedResponse ok;
    OwnedResponse notModifiedResponse;
};

WallpaperHttpServer::WallpaperHttpServer(const QString &root, std::optional<QDate> pinnedDate,
                                         const ServerLimits &limits)
    : m_limits(limits), m_index(root, pinnedDate, limits.rescanInterval),
      // A quarter of a second at most, so that a picture shrunk under its answer is noticed about at once.
      m_deadlines(std::clamp(std::min(limits.headTimeout, limits.sendGrace) / 4,
                             std::chrono::milliseconds(10), std::chrono::milliseconds(250))) {
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
    const unsigned connections = connectionCap(m_limits.maxConnections);
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1U, connections);
    m_daemon = MHD_start_daemon(
        MHD_USE_AUTO | MHD_USE_INTERNAL_POLLING_THREAD, 0, nullptr, nullptr, &onRequest, this,
        MHD_OPTION_LISTEN_SOCKET, fd, MHD_OPTION_THREAD_POOL_SIZE, threads, MHD_OPTION_CONNECTION_LIMIT,
        connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, m_limits.maxConnectionsPerAddress,
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

int WallpaperHttpServer::queue(MHD_Connection *connection, unsigned status, MHD_Response *response,
                               std::uint64_t bytes, std::optional<ConnectionDeadlines::SentFile> file) {
    if (!response)
        return MHD_NO;
    const std::chrono::duration<double> atMinimumRate(double(bytes) / double(m_limits.minimumSendRate));
    m_deadlines.expectWithin(
        connection, m_limits.sendGrace + std::chrono::duration_cast<std::chrono::milliseconds>(atMinimumRate),
        ConnectionDeadlines::Cut::Reset, std::move(file));
    return MHD_queue_response(connection, status, response);
}

int WallpaperHttpServer::answerToday(MHD_Connection *connection) {
    const DailyWallpaper today = m_index.today();
    std::shared_ptr<const EncodedToday> encoded;
    {
        const std::lock_guard lock(m_todayMutex);
        encoded = m_today;
    }
    if (!encoded || !encoded->describes(today)) {
        encoded = std::make_shared<const EncodedToday>(today);
        const std::lock_guard lock(m_todayMutex);
        m_today = encoded;
    }
    if (matchesEntityTag(connection, encoded->tag))
        return queue(connection, MHD_HTTP_NOT_MODIFIED, encoded->notModifiedResponse.get(), 0);
    return queue(connection, MHD_HTTP_OK, encoded->ok.get(), std::uint64_t(encoded->body.size()));
}

int WallpaperHttpServer::answerFile(MHD_Connection *connection, const QString &fileName) {
    OpenedPicture picture = m_index.folder().open(fileName);
    const struct stat &status = picture.status;
    const auto length = std::uint64_t(status.st_size);
    const QByteArray entityTag = entityTagOf(FileIdentity::of(status));
    if (matchesEntityTag(connection, entityTag))
        return queue(connection, MHD_HTTP_NOT_MODIFIED, notModified(length, entityTag).get(), 0);
    const OwnedResponse response = withHeaders(MHD_create_response_from_fd64(length, picture.fd.get()),
                                               {{"Content-Type", picture.wallpaper.contentType},
                                                {"Cache-Control", "no-cache"},
                                                {"ETag", entityTag},
                                                {"Last-Modified", httpDate(status.st_mtime)}});
    if (!response)
        throw ApiError(500, QStringLiteral("读取壁纸文件失败：%1。").arg(fileName));
    picture.fd.release(); // the response closes it once sent
    return queue(connection, MHD_HTTP_OK, response.get(), length,
                 ConnectionDeadlines::SentFile{m_index.folder().rootFd(), QFile::encodeName(fileName),
                                               status.st_dev, status.st_ino, status.st_size});
}

void WallpaperHttpServer::connectionChanged(MHD_Connection *connection, int openedFd) {
    if (openedFd >= 0)
        m_deadlines.opened(connection, openedFd, m_limits.headTimeout);
    else
        m_deadlines.closed(connection);
}

void WallpaperHttpServer::requestCompleted(MHD_Connection *connection) {
    m_deadlines.expectWithin(connection, m_limits.keepAliveTimeout, ConnectionDeadlines::Cut::Close);
}

int WallpaperHttpServer::answer(MHD_Connection *connection, const char *url, const char *method,
                                void **request) {
    if (!*request) {
        *request = this;
        m_deadlines.clear(connection);
        // The library keeps the connection only for an answer queued on a later call for the request.
        if (!announcesBody(connection))
            return MHD_YES;
    }
    const QByteArray path = requestPath(url);
    const bool isToday = path == todayPath;
    const bool isFile = path.startsWith(filesPrefix);
    try {
        if (!isToday && !isFile)
            throw ApiError(404, QStringLiteral("找不到请求的地址：%1。")
                                    .arg(echoed(QString::fromUtf8(QByteArray::fromPercentEncoding(path)))));
        if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 && std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0)
            throw ApiError(405, QStringLiteral("不支持的请求方法 %1：此地址只接受 GET 和 HEAD。")
                                    .arg(echoed(QString::fromLatin1(method))));
        if (isToday)
            return answerToday(connection);
        return answerFile(connection, QString::fromUtf8(QByteArray::fromPercentEncoding(
                                          path.mid(qsizetype(std::strlen(filesPrefix))))));
    } catch (const ApiError &error) {
        const OwnedResponse response = errorResponse(error);
        return queue(connection, unsigned(error.status()), response.get(),
                     std::uint64_t(error.body().size()));
    }
}

} // namespace lumivra::server
