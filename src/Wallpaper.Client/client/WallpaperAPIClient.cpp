#include "client/WallpaperAPIClient.h"

#include "client/ClientOptions.h"
#include "client/DownloadFile.h"
#include "client/Errors.h"
#include "client/HttpCache.h"
#include "client/Sha256.h"
#include "client/Transfer.h"

#include <QFileInfo>
#include <QNetworkReply>
#include <array>
#include <optional>

namespace lumivra {

namespace {

constexpr char todayPath[] = "api/client/wallpaper/today";
// An error body is only read for its "error" text; a larger one cannot be a sensible message.
constexpr qint64 maxErrorBodyBytes = qint64(1) << 20;

// Where a redirect leads, resolved against the address that answered; nothing for any other answer.
std::optional<QUrl> redirectTarget(const QNetworkReply &reply) {
    constexpr std::array redirects{301, 302, 303, 307, 308};
    const QByteArray location = reply.rawHeader("Location");
    if (location.isEmpty() ||
        std::find(redirects.begin(), redirects.end(), httpStatus(reply)) == redirects.end())
        return std::nullopt;
    const QUrl target = reply.url().resolved(QUrl::fromEncoded(location));
    refuseDowngrade(reply.url(), target);
    return target;
}

// The body an answer stands for: the stored one when the answer is a 304 that confirmed it, else its own,
// kept for later when the server lets us.
QByteArray bodyOf(const QNetworkReply &reply, const QByteArray &received, bool cacheable,
                  const QDateTime &now) {
    const int status = httpStatus(reply);
    if (cacheable && status == 304) {
        if (std::optional<QByteArray> stored = HttpCache::confirmedAnswer(reply, now))
            return *stored;
    } else if (cacheable && isSuccess(status)) {
        HttpCache::keep(reply, received, now);
    }
    WallpaperAPIClient::ensureSuccess(status, received);
    return received;
}

} // namespace

WallpaperAPIClient::WallpaperAPIClient(const QString &serverBaseURL, Timeouts timeouts, Clock clock)
    : m_timeouts(timeouts), m_clock(std::move(clock)) {
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
    // Redirects are followed here, one address at a time: an answer is stored and confirmed only under the
    // address that gave it, and a stored answer's validators never travel to another address.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    const bool cacheable = isPlainGet(request);
    const Budget budget = answerBudget(m_timeouts.requestDeadline);
    std::optional<QByteArray> body;
    for (int redirects = 0; !body; ++redirects) {
        body = cacheable ? HttpCache::freshAnswer(request.url(), m_clock()) : std::nullopt;
        if (body)
            break;
        QNetworkRequest asked = request;
        if (cacheable)
            HttpCache::addValidators(asked);
        ReplyPtr reply = start(asked);
        QByteArray received;
        const Sink collect = [&received](const QByteArray &piece) {
            received += piece;
            return true;
        };
        co_await receive(reply.get(), budget, collect);
        throwIfTransportFailed(*reply, std::chrono::milliseconds(request.transferTimeout()));
        throwIfCut(*reply, received.size());
        if (const std::optional<QUrl> target = redirectTarget(*reply)) {
            if (redirects >= request.maximumRedirectsAllowed())
                throw TransportError(QStringLiteral("重定向次数过多：超过了 %1 次。").arg(redirects));
            request.setUrl(*target);
            continue;
        }
        body = bodyOf(*reply, received, cacheable, m_clock());
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

QNetworkRequest WallpaperAPIClient::downloadRequest(const QString &link) const {
    QNetworkRequest request = makeRequest(link, "GET");
    // A plain http link from an https service would downgrade the picture's transfer as a redirect would.
    refuseDowngrade(m_baseURL, request.url());
    request.setTransferTimeout(static_cast<int>(m_timeouts.download.count()));
    // A compressed image gains nothing, and a compressed body can unpack to almost any size.
    request.setRawHeader("Accept-Encoding", "identity");
    return request;
}

QCoro::Task<void> WallpaperAPIClient::downloadWallpaper(WallpaperMetadataResponse metadata,
                                                        QString destination) const {
    const QNetworkRequest request = downloadRequest(metadata.downloadUrl);
    const QFileInfo target(destination);
    // The body goes straight to a file beside the destination, so memory stays flat whatever the size of
    // the image.
    DownloadFile file(target.absolutePath());
    ReplyPtr reply = start(request);
    Sha256 hasher;
    const Budget budget = pictureBudget(metadata.length, m_timeouts.downloadDeadline);
    const Sink store = [&file, &hasher](const QByteArray &piece) {
        hasher.update(piece);
        return file.write(piece);
    };
    co_await receive(reply.get(), budget, store);
    file.throwIfWriteFailed();
    throwIfTransportFailed(*reply, m_timeouts.download);
    throwIfCut(*reply, file.size());

    const int status = httpStatus(*reply);
    if (status >= 0 && !isSuccess(status))
        ensureSuccess(status, file.readFromStart(maxErrorBodyBytes));
    if (hasher.finalHex().compare(metadata.sha256, Qt::CaseInsensitive) != 0)
        throw WallpaperClientError::invalidDownloadHash();
    file.moveTo(target.absoluteFilePath());
}

} // namespace lumivra
