#include "client/WallpaperAPIClient.h"

#include "client/ClientOptions.h"
#include "client/Errors.h"
#include "client/HttpCache.h"
#include "client/Sha256.h"

#include <QCoro/QCoroNetworkReply>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryFile>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace lumivra {

namespace {

constexpr char todayPath[] = "api/client/wallpaper/today";
// The wallpaper record is a few hundred bytes: an answer larger than this is not one.
constexpr qint64 maxAnswerBytes = qint64(1) << 20;
// An error body is only read for its "error" text; a larger one cannot be a sensible message.
constexpr qint64 maxErrorBodyBytes = qint64(1) << 20;
// How far an image may outgrow its announced length before the transfer is ended: twice that length, and
// never less than this. The digest would reject such a body anyway; the limit keeps it off the disk.
constexpr qint64 minDownloadCeiling = qint64(64) << 20;
// Qt buffers at most this much of an answer before it stops reading from the socket.
constexpr qint64 readBufferBytes = qint64(1) << 20;

struct DeleteLater {
    void operator()(QNetworkReply *reply) const { reply->deleteLater(); }
};
using ReplyPtr = std::unique_ptr<QNetworkReply, DeleteLater>;

// Only the web is ever asked: a file:, qrc: or data: link must not read local resources.
void requireWebURL(const QUrl &url) {
    if (!url.isValid())
        throw TransportError(QStringLiteral("地址无效：“%1”。").arg(url.toString()));
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        throw TransportError(QStringLiteral("不支持的地址：“%1”。只能通过 http 或 https 获取壁纸。")
                                 .arg(url.toDisplayString()));
}

// The HTTP status, or -1 when the answer is not an HTTP response.
int httpStatus(QNetworkReply *reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : -1;
}

bool isSuccess(int status) {
    return status >= 200 && status <= 299;
}

// Qt reports an HTTP error status as a reply error too; that is an answer to check, not a failed transfer.
// The same error codes under a success status are faults of the transfer itself: UnknownContentError
// there means a body that does not decode.
bool reportsStatus(QNetworkReply *reply) {
    const QNetworkReply::NetworkError error = reply->error();
    const int code = static_cast<int>(error);
    const bool statusCode = (code >= 201 && code <= 299) || (code >= 401 && code <= 499) ||
                            error == QNetworkReply::ProtocolInvalidOperationError ||
                            error == QNetworkReply::ProxyAuthenticationRequiredError;
    const int status = httpStatus(reply);
    return statusCode && status >= 0 && !isSuccess(status);
}

QString seconds(std::chrono::milliseconds duration) {
    return QString::number(std::chrono::ceil<std::chrono::seconds>(duration).count());
}

void throwIfTransportFailed(QNetworkReply *reply, std::chrono::milliseconds timeout) {
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError || reportsStatus(reply))
        return;
    // Ending a reply early throws its own reason first, so a cancellation is Qt's idle time-out firing.
    if (error == QNetworkReply::OperationCanceledError)
        throw TransportError(QStringLiteral("请求超时：服务器在 %1 秒内没有响应。").arg(seconds(timeout)));
    if (error == QNetworkReply::UnknownContentError)
        throw TransportError(QStringLiteral("服务器发送的内容无法解码：%1").arg(reply->errorString()));
    throw TransportError(reply->errorString());
}

// Qt can finish a reply without an error when the server closes the connection before the announced
// length arrived; a short body is a broken transfer, not a corrupt image or malformed JSON.
void throwIfCut(QNetworkReply *reply, qint64 received) {
    const int status = httpStatus(reply);
    if (reply->operation() == QNetworkAccessManager::HeadOperation || status == 204 || status == 304 ||
        reply->hasRawHeader("Content-Encoding"))
        return;
    bool known = false;
    const qint64 announced = reply->rawHeader("Content-Length").toLongLong(&known);
    if (known && received < announced)
        throw TransportError(
            QStringLiteral("连接在传输中断开：只收到 %1 字节中的 %2 字节。").arg(announced).arg(received));
}

QString methodOf(const QNetworkRequest &request) {
    return request.attribute(QNetworkRequest::CustomVerbAttribute).toString();
}

// Qt and HttpCache treat only plain GETs as reads, not custom verbs that happen to read "GET".
bool isPlainGet(const QNetworkRequest &request) {
    const QString method = methodOf(request);
    return method.isEmpty() || method == QLatin1String("GET");
}

ReplyPtr start(const QNetworkRequest &request) {
    requireWebURL(request.url());
    QNetworkAccessManager &manager = sharedNetworkAccessManager();
    ReplyPtr reply(isPlainGet(request) ? manager.get(request)
                                       : manager.sendCustomRequest(request, methodOf(request).toLatin1()));
    reply->setReadBufferSize(readBufferBytes);
    return reply;
}

std::chrono::milliseconds timeoutOf(const QNetworkRequest &request) {
    return std::chrono::milliseconds(request.transferTimeout());
}

// What one transfer may cost before it is ended.
struct Budget {
    std::chrono::milliseconds deadline;
    qint64 ceiling;
    QString overCeiling; // the reason given when the body outgrows the ceiling
    bool identityOnly;   // a compressed body is refused
};

using Sink = std::function<bool(const QByteArray &)>;

struct Connections {
    std::vector<QMetaObject::Connection> list;
    ~Connections() {
        for (const QMetaObject::Connection &connection : list)
            QObject::disconnect(connection);
    }
};

// Waits until the reply finished, handing its body to sink piece by piece as it arrives; sink returns false
// to end the transfer. The transfer is also ended, and the reason thrown, when the deadline passes, when the
// body announced or received outgrows the ceiling, or when a compressed body comes where none may.
// Arguments are references to the caller's named locals: GCC 12 destroys temporaries of a co_await
// expression twice when the awaited coroutine throws.
QCoro::Task<void> receive(QNetworkReply *reply, const Budget &budget, const Sink &sink) {
    bool stopped = false;
    QString reason;
    auto stop = [reply, &stopped, &reason](const QString &why) {
        if (stopped)
            return;
        stopped = true;
        reason = why;
        // Queued: aborting finishes the reply at once, which would resume this coroutine, and end it, inside
        // the very handler that asked.
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    };
    auto checkHead = [reply, &budget, &stop] {
        const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
        if (budget.identityOnly && !encoding.isEmpty() && encoding != "identity")
            stop(QStringLiteral("服务器以压缩格式（%1）发送了壁纸文件，而请求的是未压缩的文件。")
                     .arg(QString::fromLatin1(encoding)));
        bool known = false;
        const qint64 announced = reply->rawHeader("Content-Length").toLongLong(&known);
        if (known && announced > budget.ceiling)
            stop(budget.overCeiling);
    };
    qint64 received = 0;
    auto drain = [reply, &budget, &sink, &stop, &stopped, &received] {
        while (!stopped && reply->bytesAvailable() > 0) {
            const QByteArray piece = reply->read(readBufferBytes);
            received += piece.size();
            if (received > budget.ceiling)
                stop(budget.overCeiling);
            else if (!sink(piece))
                stop({});
        }
    };
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, [&stop, &budget] {
        stop(QStringLiteral("请求超时：服务器在 %1 秒内没有传完响应。").arg(seconds(budget.deadline)));
    });
    deadline.start(budget.deadline);
    // The handlers use this coroutine's locals, so they go with it, however it ends.
    const Connections handlers{{QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, checkHead),
                                QObject::connect(reply, &QIODevice::readyRead, reply, drain)}};
    co_await reply;
    drain();
    if (!reason.isEmpty())
        throw TransportError(reason);
}

} // namespace

WallpaperAPIClient::WallpaperAPIClient(const QString &serverBaseURL, Timeouts timeouts)
    : m_timeouts(timeouts) {
    const QString text = ClientOptions::normalizeServerBaseURL(serverBaseURL) + QLatin1Char('/');
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        throw WallpaperClientError::invalidServerURL();
    m_baseURL = url;
}

QNetworkRequest WallpaperAPIClient::makeRequest(const QString &path, const QByteArray &method) const {
    qsizetype skip = 0;
    while (skip < path.size() && path.at(skip) == QLatin1Char('/'))
        ++skip;
    QNetworkRequest request(m_baseURL.resolved(QUrl(path.mid(skip))));
    request.setAttribute(QNetworkRequest::CustomVerbAttribute, QString::fromLatin1(method));
    request.setTransferTimeout(static_cast<int>(m_timeouts.request.count()));
    return request;
}

void WallpaperAPIClient::ensureSuccess(int status, const QByteArray &data) {
    if (status < 0 || (status >= 200 && status <= 299))
        return;
    QString message;
    try {
        message = ApiErrorResponse::decode(data).error;
    } catch (const DecodingError &) {
        message = QStringLiteral("服务器返回错误：") + QString::number(status);
    }
    throw WallpaperClientError::server(message);
}

QCoro::Task<QByteArray> WallpaperAPIClient::send(QNetworkRequest request) const {
    const QUrl url = request.url();
    const bool cacheable = isPlainGet(request);
    std::optional<QByteArray> body = cacheable ? HttpCache::freshAnswer(url) : std::nullopt;
    if (!body) {
        if (cacheable)
            HttpCache::addValidators(request);
        const auto timeout = timeoutOf(request);
        ReplyPtr reply = start(request);
        QByteArray received;
        const Budget budget{m_timeouts.requestDeadline, maxAnswerBytes,
                            QStringLiteral("服务器的响应过大：超过 1 MiB，已停止接收。"), false};
        const Sink collect = [&received](const QByteArray &piece) {
            received += piece;
            return true;
        };
        co_await receive(reply.get(), budget, collect);
        throwIfTransportFailed(reply.get(), timeout);
        throwIfCut(reply.get(), received.size());
        int status = httpStatus(reply.get());
        if (cacheable && status == 304) {
            if (std::optional<QByteArray> stored = HttpCache::confirmedAnswer(url, *reply)) {
                received = *stored;
                status = 200;
            }
        } else if (cacheable && isSuccess(status)) {
            HttpCache::keep(url, *reply, received);
        }
        ensureSuccess(status, received);
        body = received;
    }
    if (body->isEmpty())
        throw WallpaperClientError::emptyResponse();
    co_return *body;
}

QCoro::Task<WallpaperMetadataResponse> WallpaperAPIClient::getTodayWallpaper() const {
    const QNetworkRequest request = makeRequest(QString::fromLatin1(todayPath), "GET");
    const QByteArray body = co_await send(request);
    co_return WallpaperMetadataResponse::decode(body);
}

QCoro::Task<void> WallpaperAPIClient::downloadWallpaper(WallpaperMetadataResponse metadata,
                                                        QString destination) const {
    QNetworkRequest request = makeRequest(metadata.downloadUrl, "GET");
    request.setTransferTimeout(static_cast<int>(m_timeouts.download.count()));
    // A compressed image gains nothing, and a compressed body can unpack to almost any size.
    request.setRawHeader("Accept-Encoding", "identity");
    const auto timeout = m_timeouts.download;
    const qint64 announced = std::clamp<qint64>(metadata.length, 0, std::numeric_limits<qint64>::max() / 2);
    const qint64 ceiling = std::max(minDownloadCeiling, 2 * announced);

    // The body goes straight to a hidden file beside the destination, so the final rename is atomic and
    // memory stays flat whatever the size of the image.
    const QFileInfo target(destination);
    const QString folder = target.absolutePath();
    if (!QDir().mkpath(folder))
        throw FileError(QStringLiteral("无法创建文件夹“%1”。").arg(QDir::toNativeSeparators(folder)));
    QTemporaryFile temporary(folder + QStringLiteral("/.lumivra-download-XXXXXX"));
    if (!temporary.open())
        throw FileError(QStringLiteral("无法在“%1”中创建临时文件：%2")
                            .arg(QDir::toNativeSeparators(folder), temporary.errorString()));

    ReplyPtr reply = start(request);
    Sha256 hasher;
    QString writeError;
    const Budget budget{m_timeouts.downloadDeadline, ceiling,
                        QStringLiteral("壁纸文件过大：服务器发送的数据超过 %1 MiB，已停止下载。")
                            .arg((ceiling + (1 << 20) - 1) >> 20),
                        true};
    const Sink store = [&temporary, &hasher, &writeError](const QByteArray &piece) {
        hasher.update(piece);
        if (temporary.write(piece) == piece.size())
            return true;
        writeError = temporary.errorString();
        return false;
    };
    co_await receive(reply.get(), budget, store);
    if (!writeError.isEmpty())
        throw FileError(QStringLiteral("无法写入下载的壁纸：%1").arg(writeError));
    throwIfTransportFailed(reply.get(), timeout);
    throwIfCut(reply.get(), temporary.pos());

    const int status = httpStatus(reply.get());
    if (status >= 0 && !isSuccess(status)) {
        temporary.seek(0);
        ensureSuccess(status, temporary.read(maxErrorBodyBytes));
    }
    if (hasher.finalHex().compare(metadata.sha256, Qt::CaseInsensitive) != 0)
        throw WallpaperClientError::invalidDownloadHash();

    if (!temporary.flush())
        throw FileError(QStringLiteral("无法写入下载的壁纸：%1").arg(temporary.errorString()));
    temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                             QFileDevice::ReadOther);
    // rename(2) replaces an existing file in one step: readers see the old picture or the new one.
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        const int error = errno;
        throw FileError(
            QStringLiteral("无法把壁纸保存到“%1”：%2")
                .arg(QDir::toNativeSeparators(target.absoluteFilePath()), qt_error_string(error)));
    }
    temporary.setAutoRemove(false);
}

} // namespace lumivra
