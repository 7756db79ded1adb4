#include "app/AppDelegate.h"

#include "app/ActivationPolicy.h"
#include "app/MenuBarImage.h"

#include <QCoreApplication>
#include <QPointer>

namespace lumivra {

AppDelegate::AppDelegate(AppDelegateSeams seams) : m_seams(std::move(seams)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    becomeAccessoryApplication();
    configureStatusItem();
    startTimer();
    watchNetwork();
    refreshWallpaper(false);
}

void AppDelegate::configureStatusItem() {
    m_statusItem = m_seams.makeStatusItem();
    m_statusItem->setImage(makeMenuBarImage());
    rebuildMenu();
    setToolTip(QStringLiteral("待命"));
}

void AppDelegate::setToolTip(const QString &state) {
    m_toolTip = QStringLiteral("Lumivra · ") + state;
    if (m_statusItem)
        m_statusItem->setToolTip(m_toolTip);
}

RefreshStatus AppDelegate::status() const {
    return {m_toolTip, m_pictureFile, m_lastRefreshSucceeded.value_or(false)};
}

void AppDelegate::startTimer() {
    m_timer.reset();
    m_timer = std::make_unique<SuspendAwareTimer>(m_seams.refreshInterval);
    connect(m_timer.get(), &SuspendAwareTimer::timeout, this, [weak = QPointer<AppDelegate>(this)] {
        // The refresh starts in a later turn of the loop, never inside the timer's own callback.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak] {
                if (weak)
                    weak->refreshWallpaper(false);
            },
            Qt::QueuedConnection);
    });
}

void AppDelegate::watchNetwork() {
    m_networkMonitor = m_seams.makeNetworkMonitor();
    connect(m_networkMonitor.get(), &NetworkMonitor::networkAvailable, this,
            &AppDelegate::networkBecameAvailable);
    m_networkRefreshDelay.setSingleShot(true);
    connect(&m_networkRefreshDelay, &QTimer::timeout, this, &AppDelegate::networkBecameAvailable);
}

// A refresh like a tick's, for a cycle that failed (most often because the network was gone, as right
// after the machine woke). A running cycle is left alone and followed should it fail.
void AppDelegate::networkBecameAvailable() {
    if (m_isRefreshing) {
        m_networkReturnedDuringRefresh = true;
        return;
    }
    if (m_lastRefreshSucceeded.value_or(true))
        return;
    const std::chrono::milliseconds spacing = m_seams.networkRefreshSpacing;
    const std::chrono::milliseconds since = m_sinceNetworkRefresh.isValid()
                                                ? std::chrono::milliseconds(m_sinceNetworkRefresh.elapsed())
                                                : spacing;
    if (since < spacing) {
        if (!m_networkRefreshDelay.isActive())
            m_networkRefreshDelay.start(spacing - since);
        return;
    }
    m_sinceNetworkRefresh.start();
    refreshWallpaper(false);
}

void AppDelegate::quit() {
    // Nothing is saved and a refresh in flight is not waited for: the event loop ends, the refresh is
    // abandoned (applicationWillTerminate) and the process ends.
    QCoreApplication::quit();
}

} // namespace lumivra
