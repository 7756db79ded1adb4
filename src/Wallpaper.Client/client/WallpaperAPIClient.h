#pragma once

#include "client/Models.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

namespace lumivra {

// The one network access manager of the process: long-lived, so replies can be released safely with
// deleteLater, redirects followed (never from https down to http), and an HTTP cache honouring the
// server's caching headers.
QNetworkAccessManager &sharedNetworkAccessManager();

// Longest wait for the connection or for the next bytes of an answer.
struct ClientTimeouts {
    std::chrono::milliseconds request{std::chrono::seconds(30)};
    std::chrono::milliseconds download{std::chrono::seconds(300)};
};

// HTTP client of the wallpaper service. One is made per refresh and dropped afterwards.
class WallpaperAPIClient {
public:
    using Timeouts = ClientTimeouts;

    // Throws WallpaperClientError::invalidServerURL when the normalised address does not parse.
    explicit WallpaperAPIClient(const QString &serverBaseURL, Timeouts timeouts = {});

    const QUrl &baseURL() const { return m_baseURL; }

    // GET api/client/wallpaper/today, decoded.
    QCoro::Task<WallpaperMetadataResponse> getTodayWallpaper() const;

    // Streams the image into a temporary file beside the destination while hashing it, and moves it into
    // place in one step only after its digest matched. The destination is never left partial or missing.
    QCoro::Task<void> downloadWallpaper(WallpaperMetadataResponse metadata, QString destination) const;

    // Leading slashes dropped, then resolved against baseURL as a relative reference.
    QNetworkRequest makeRequest(const QString &path, const QByteArray &method) const;

    // Sends a request and returns its body; throws on transport errors, error statuses and empty bodies.
    QCoro::Task<QByteArray> send(QNetworkRequest request) const;

    // Throws WallpaperClientError::server for an HTTP status outside 200..299 (httpStatus < 0: not HTTP).
    static void ensureSuccess(int httpStatus, const QByteArray &data);

private:
    QUrl m_baseURL;
    Timeouts m_timeouts;
};

} // namespace lumivra
