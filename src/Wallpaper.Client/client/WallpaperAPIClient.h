#pragma once

#include "client/Models.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>

namespace lumivra {

struct ClientTimeouts {
    // Longest wait for the connection or for the next bytes of an answer.
    std::chrono::milliseconds request{std::chrono::seconds(30)};
    std::chrono::milliseconds download{std::chrono::seconds(300)};
    // Longest time a whole answer may take, however steadily its bytes trickle in.
    std::chrono::milliseconds requestDeadline{std::chrono::minutes(2)};
    std::chrono::milliseconds downloadDeadline{std::chrono::minutes(30)};
};

// HTTP client of the wallpaper service. One is made per refresh and dropped afterwards.
class WallpaperAPIClient {
public:
    using Timeouts = ClientTimeouts;
    // The time of day in UTC, by which stored answers age.
    using Clock = std::function<QDateTime()>;

    // Throws WallpaperClientError::invalidServerURL when the normalised address does not parse.
    explicit WallpaperAPIClient(const QString &serverBaseURL, Timeouts timeouts = {},
                                Clock clock = &QDateTime::currentDateTimeUtc);

    const QUrl &baseURL() const { return m_baseURL; }

    // GET api/client/wallpaper/today, decoded.
    QCoro::Task<WallpaperMetadataResponse> getTodayWallpaper() const;

    // Streams the image into a temporary file beside the destination while hashing it, and moves it into
    // place in one step only after its digest matched. The destination is never left partial or missing.
    // A body is read only up to twice its announced length, or 64 MiB when that is more, and never past
    // 1 GiB. A plain http link from an https service is refused.
    QCoro::Task<void> downloadWallpaper(WallpaperMetadataResponse metadata, QString destination) const;

    // Leading slashes dropped, then resolved against baseURL as a relative reference.
    QNetworkRequest makeRequest(const QString &path, const QByteArray &method) const;

    // Sends a request and returns its body of at most 1 MiB; throws on transport errors, error statuses and
    // empty bodies. Redirects are followed, never from https down to http. A GET may be answered by
    // HttpCache, but only as the server's caching headers allow.
    QCoro::Task<QByteArray> send(QNetworkRequest request) const;

    // Throws WallpaperClientError::server for an HTTP status outside 200..299 (httpStatus < 0: not HTTP).
    static void ensureSuccess(int httpStatus, const QByteArray &data);

private:
    QNetworkRequest downloadRequest(const QString &link) const;

    QUrl m_baseURL;
    Timeouts m_timeouts;
    Clock m_clock;
};

} // namespace lumivra
