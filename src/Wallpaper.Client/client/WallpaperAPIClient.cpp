#include "client/WallpaperAPIClient.h"

#include "client/ClientOptions.h"
#include "client/Errors.h"
#include "client/Sha256.h"

#include <QCoro/QCoroNetworkReply>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace lumivra {

namespace {

constexpr char todayPath[] = "api/client/wallpaper/today";
// An error body is only read for its "error" text; a larger one cannot be a sensible message.
constexpr qint64 maxErrorBodyBytes = 1 << 20;
// Qt buffers at most this much of a download before it stops reading from the socket.
constexpr qint64 downloadBufferBytes = 1 << 20;

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

// Qt reports HTTP error statuses as reply errors too; those are answers to check, not transport failures.
bool isStatusError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= 201 && code <= 299) || (code >= 401 && code <= 499) ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           error == QNetworkReply::ProxyAuthenticationRequiredError;
}

// The HTTP status, or -1 when the answer is not an HTTP response.
int httpStatus(QNetworkReply *reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : -1;
}

void throwIfTransportFailed(QNetworkReply *reply, std::chrono::milliseconds timeout) {
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError || (httpStatus(reply) >= 0 && isStatusError(error)))
        return;
    // Nothing here cancels a reply, so a cancellation is Qt's idle time-out firing.
    if (error == QNetworkReply::OperationCanceledError)
        throw TransportError(QStringLiteral("请求超时：服务器在 %1 秒内没有响应。")
                                 .arg(std::chrono::ceil<std::chrono::seconds>(timeout).count()));
    throw TransportError(reply->errorString());
}

// Qt can finish a reply without an error when the server closes the connection before the announced
// length arrived; a short body is a broken transfer, not a corrupt image or malformed JSON.
void throwIfCut(QNetworkReply *reply, qint64 received) {
    if (reply->operation() == QNetworkAccessManager::HeadOperation ||
        reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool() ||
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

ReplyPtr start(QNetworkRequest request) {
    requireWebURL(request.url());
    const QByteArray method = methodOf(request).toLatin1();
    QNetworkAccessManager &manager = sharedNetworkAccessManager();
    // Qt consults its HTTP cache only for plain GETs, not for custom verbs that happen to read "GET".
    if (method.isEmpty() || method == "GET")
        return ReplyPtr(manager.get(request));
    return ReplyPtr(manager.sendCustomRequest(request, method));
}

std::chrono::milliseconds timeoutOf(const QNetworkRequest &request) {
    return std::chrono::milliseconds(request.transferTimeout());
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
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
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
    const auto timeout = timeoutOf(request);
    ReplyPtr reply = start(request);
    co_await reply.get();
    throwIfTransportFailed(reply.get(), timeout);
    const QByteArray body = reply->readAll();
    throwIfCut(reply.get(), body.size());
    ensureSuccess(httpStatus(reply.get()), body);
    if (body.isEmpty())
        throw WallpaperClientError::emptyResponse();
    co_return body;
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
    // The verified file in our own cache is the copy worth keeping; storing the image again in the HTTP
    // cache would only double its size on disk.
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    const auto timeout = m_timeouts.download;

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
    reply->setReadBufferSize(downloadBufferBytes);
    Sha256 hasher;
    QString writeError;
    auto drain = [&reply, &temporary, &hasher, &writeError] {
        while (reply->bytesAvailable() > 0) {
            const QByteArray chunk = reply->read(downloadBufferBytes);
            if (!writeError.isEmpty())
                continue;
            hasher.update(chunk);
            if (temporary.write(chunk) != chunk.size()) {
                writeError = temporary.errorString();
                reply->abort();
            }
        }
    };
    QObject::connect(reply.get(), &QIODevice::readyRead, reply.get(), drain);
    co_await reply.get();
    drain();
    if (!writeError.isEmpty())
        throw FileError(QStringLiteral("无法写入下载的壁纸：%1").arg(writeError));
    throwIfTransportFailed(reply.get(), timeout);
    throwIfCut(reply.get(), temporary.pos());

    const int status = httpStatus(reply.get());
    if (status >= 0 && (status < 200 || status > 299)) {
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
