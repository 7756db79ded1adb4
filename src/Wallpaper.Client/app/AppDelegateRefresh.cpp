#include "app/AppDelegate.h"
#include "client/Errors.h"
#include "client/NetworkAccess.h"
#include "client/Sha256.h"
#include "system/WallpaperCache.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>
#include <optional>
#include <utility>

namespace lumivra {

namespace {

// The cached copy is used when its digest equals the announced one in any letter case; its size does not
// matter. A missing or unreadable file simply means downloading again.
bool cachedCopyMatches(const QString &cacheFile, const QString &announcedSha256) {
    const std::optional<QString> digest = sha256HexOfFile(cacheFile);
    return digest && digest->compare(announcedSha256, Qt::CaseInsensitive) == 0;
}

} // namespace

void AppDelegate::refreshWallpaper(bool showSuccess) {
    if (m_isRefreshing)
        return;
    m_isRefreshing = true;
    setToolTip(QStringLiteral("刷新中"));
    // The address is taken now: a change to it reaches the next cycle, not this one.
    QMetaObject::invokeMethod(
        this,
        [this, serverBaseURL = m_seams.serverBaseURL(), showSuccess] {
            runRefreshCycle(serverBaseURL, showSuccess);
        },
        Qt::QueuedConnection);
}

QCoro::Task<> AppDelegate::runRefreshCycle(QString serverBaseURL, bool showSuccess) {
    // Nobody awaits this task, so it must finish by itself: every error ends here, and the delegate may be
    // gone whenever the task comes back from a wait.
    const QPointer<AppDelegate> self(this);
    std::optional<QString> effectiveDate;
    QString failure;
    try {
        const WallpaperAPIClient client(serverBaseURL, m_seams.clientTimeouts);
        auto metadataRequest = client.getTodayWallpaper();
        const WallpaperMetadataResponse metadata = co_await std::move(metadataRequest);
        if (!self)
            co_return;
        const QString cacheFile = WallpaperCache::path(metadata);
        if (!cachedCopyMatches(cacheFile, metadata.sha256)) {
            setToolTip(QStringLiteral("下载中"));
            auto download = client.downloadWallpaper(metadata, cacheFile);
            co_await std::move(download);
            if (!self)
                co_return;
        }
        m_seams.setDesktopPicture(cacheFile);
        m_pictureFile = cacheFile;
        effectiveDate = metadata.effectiveDate;
    } catch (const Error &error) {
        failure = error.localizedDescription();
    } catch (...) {
        failure = QStringLiteral("刷新时发生了意外错误。");
    }
    if (self)
        finishRefreshCycle(effectiveDate, failure, showSuccess);
}

void AppDelegate::applicationWillTerminate() {
    m_terminating = true;
    abortAllRequests();
    // The aborted requests end at once; what follows them runs in later turns of the event loop, which
    // waits for events rather than spinning, and is woken at the deadline should the refresh hang.
    const std::chrono::seconds patience(5);
    const QDeadlineTimer deadline(patience);
    QTimer::singleShot(patience, this, [] {});
    while (m_isRefreshing && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void AppDelegate::finishRefreshCycle(const std::optional<QString> &effectiveDate, const QString &failure,
                                     bool showSuccess) {
    if (m_terminating) {
        m_isRefreshing = false;
        return;
    }
    const QPointer<AppDelegate> self(this);
    m_lastRefreshSucceeded = effectiveDate.has_value();
    if (effectiveDate) {
        setToolTip(*effectiveDate);
        if (showSuccess)
            m_seams.showAlert(QStringLiteral("壁纸已刷新"),
                              QStringLiteral("当前壁纸日期：") + *effectiveDate);
    } else {
        setToolTip(QStringLiteral("刷新失败"));
        if (showSuccess)
            m_seams.showAlert(QStringLiteral("刷新壁纸失败"), failure);
    }
    // The alert ran a loop of its own, in which the delegate may have been destroyed.
    if (!self)
        return;
    m_isRefreshing = false;
    if (std::exchange(m_networkReturnedDuringRefresh, false) && !effectiveDate)
        networkBecameAvailable();
}

} // namespace lumivra
