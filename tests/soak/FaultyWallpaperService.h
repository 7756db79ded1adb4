#pragma once

#include "ScriptedHttpServer.h"

#include <QByteArray>
#include <QMap>
#include <QRegularExpression>
#include <QString>
#include <chrono>
#include <optional>
#include <random>

namespace lumivra::test {

// How the service misbehaves in answer to one request.
enum class Fault {
    none,                // a proper answer, with a Content-Length, chunked or gzip-compressed
    redirected,          // one redirect, then the proper answer
    serverErrorWithBody, // a 5xx status with a JSON error text
    serverErrorBare,     // a 5xx status with an empty, HTML or unusable JSON body
    cutMidBody,          // the connection drops before the announced body is complete
    stalled,             // the answer stops coming, before or after the status line
    redirectLoop,        // redirects that lead back to each other
    emptyBody,           // a success status with no body at all
    garbageJson,         // metadata that is not a wallpaper record
    wrongDigest,         // image bytes that are not the announced ones
};

QString faultName(Fault fault);

// What a refresh must end with: success (nothing), or a failure whose description matches the pattern.
using Expectation = std::optional<QRegularExpression>;
Expectation exactly(const QString &text);

struct Wallpaper {
    qint64 id = 0;
    QString effectiveDate;
    QString fileName;
    QString contentType;
    QString announcedSha256;
    QByteArray image;
};

// The answer planned for one of the two requests of a refresh, and how the refresh ends if it is asked.
struct RequestPlan {
    Fault fault = Fault::none;
    Expectation outcome;
};

// Today's wallpaper and the faults the service has chosen for the next cycle.
struct CyclePlan {
    Wallpaper wallpaper;
    RequestPlan metadata;
    RequestPlan image;
    bool desktopRefuses = false;
};

// The wallpaper service on loopback, answering every request by the plan of the current cycle. The plan is
// drawn from a seeded generator, so a failing run can be repeated with its seed.
class FaultyWallpaperService {
public:
    FaultyWallpaperService(quint64 seed, std::chrono::milliseconds clientTimeout);

    QString baseURL() const { return m_server.url(); }
    // Today's wallpaper and the faults of the next cycle; the service answers by them from now on.
    const CyclePlan &planNextCycle();
    int imageRequests() const { return m_server.count(imagePath); }
    int requests() const { return static_cast<int>(m_server.requests().size()); }

    static inline const QString desktopRefusal = QStringLiteral("桌面拒绝了这张图片。");

private:
    static inline const QString todayPath = QStringLiteral("/api/client/wallpaper/today");
    static inline const QString imagePath = QStringLiteral("/files/image");

    Wallpaper nextWallpaper();
    QByteArray metadataJson() const;
    QByteArray garbageJson();
    QByteArray otherImage();
    QByteArray randomBytes(qsizetype size);
    ScriptedResponse properAnswer(const QByteArray &body, bool json);
    ScriptedResponse serverError(bool withErrorText, Expectation &outcome);
    ScriptedResponse redirectTo(const QString &path);
    ScriptedResponse brokenTransfer(const QByteArray &body, Fault fault);
    void planRequest(const QString &path, const QByteArray &proper, RequestPlan &plan);
    int uniform(int low, int high);
    bool chance(double probability);

    ScriptedHttpServer m_server;
    std::mt19937_64 m_random;
    std::chrono::milliseconds m_clientTimeout;
    CyclePlan m_plan;
    QString m_downloadUrl;
    QMap<QString, ScriptedResponse> m_answers; // by path
};

} // namespace lumivra::test
