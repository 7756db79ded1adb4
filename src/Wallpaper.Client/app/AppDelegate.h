#pragma once

#include "app/Alert.h"
#include "app/NetworkMonitor.h"
#include "app/StatusItem.h"
#include "app/SuspendAwareTimer.h"
#include "client/ServerAddressStore.h"
#include "client/WallpaperAPIClient.h"
#include "system/WallpaperSetter.h"

#include <QAction>
#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace lumivra {

// Time between two automatic refreshes, counted from the start of the timer, sleep included.
inline constexpr std::chrono::milliseconds hourlyRefreshInterval = std::chrono::seconds(3600);
// Least time between two refreshes for the network's return: the news comes in bursts, and a service that
// is down while the network is up must not be asked at every one.
inline constexpr std::chrono::milliseconds networkReturnRefreshSpacing = std::chrono::minutes(1);

// Everything through which the delegate reaches the desktop, the user and its configuration. The defaults
// are the real ones; tests replace what cannot run on a test machine.
struct AppDelegateSeams {
    std::function<std::unique_ptr<StatusItem>()> makeStatusItem = makeTrayStatusItem;
    // Returns once the user closed the alert.
    std::function<void(const QString &messageText, const QString &informativeText)> showAlert =
        showInformationalAlert;
    std::function<void(const QString &imageFile)> setDesktopPicture = [](const QString &imageFile) {
        WallpaperSetter::set(imageFile);
    };
    // Read each time a refresh is accepted, so a changed address is used from the next refresh on.
    std::function<QString()> serverBaseURL = ServerAddressStore::load;
    std::function<std::unique_ptr<NetworkMonitor>()> makeNetworkMonitor = makeSystemNetworkMonitor;
    WallpaperAPIClient::Timeouts clientTimeouts;
    std::chrono::milliseconds refreshInterval = hourlyRefreshInterval;
    std::chrono::milliseconds networkRefreshSpacing = networkReturnRefreshSpacing;
};

// The state of the last refresh, as `lumivra --status` shows it.
struct RefreshStatus {
    QString toolTip;
    QString pictureFile; // the cached picture last set, empty before the first success
    bool lastRefreshSucceeded = false;
};

// The application shell: the status item with its menu, the hourly timer and the refresh cycle that
// brings today's wallpaper onto every screen. Everything runs on the main thread.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(AppDelegateSeams seams = {});
    ~AppDelegate() override;

    // The launch sequence, run once the event loop runs: status item and menu, timer, network monitor,
    // first refresh.
    void applicationDidFinishLaunching();

    // Starts a refresh cycle unless one is running (then the request is dropped without a trace). Returns
    // at once; the cycle reports in the tool tip, and in an alert only when showSuccess is set.
    void refreshWallpaper(bool showSuccess);

    // Replaces any running timer by a new one of the refresh interval.
    void startTimer();

    bool refreshing() const { return m_isRefreshing; }
    SuspendAwareTimer *hourlyTimer() const { return m_timer.get(); }
    RefreshStatus status() const;

    // The menu's commands, which the desktop entry's actions and the command line reach as well.
    void refreshMenuItemClicked();
    void toggleLaunchAtLogin();
    // False when it failed, once the alert saying so was closed.
    bool setLaunchAtLogin(bool enabled);
    void showAbout();
    void quit();

    // Called once the event loop has ended: a refresh still waiting on the network is ended without a word
    // to the user, its requests aborted, and unwinds here, so it leaves no partial download behind.
    void applicationWillTerminate();

private:
    void configureStatusItem();
    // Builds the menu on first use and hands it to the status item; afterwards brings it up to date.
    void rebuildMenu();
    std::unique_ptr<QMenu> makeMenu();
    void setToolTip(const QString &state);
    QCoro::Task<> runRefreshCycle(QString serverBaseURL, bool showSuccess);
    void finishRefreshCycle(const std::optional<QString> &effectiveDate, const QString &failure,
                            bool showSuccess);
    void watchNetwork();
    void networkBecameAvailable();

    AppDelegateSeams m_seams;
    std::unique_ptr<StatusItem> m_statusItem;
    // Owned by the status item's menu.
    QPointer<QAction> m_launchAtLoginItem;
    std::unique_ptr<SuspendAwareTimer> m_timer;
    bool m_isRefreshing = false;
    bool m_terminating = false;
    QString m_toolTip;
    QString m_pictureFile;
    std::optional<bool> m_lastRefreshSucceeded;
    std::unique_ptr<NetworkMonitor> m_networkMonitor;
    // Set when the network came back while a cycle ran: should that cycle fail, the next one follows.
    bool m_networkReturnedDuringRefresh = false;
    QElapsedTimer m_sinceNetworkRefresh;
    QTimer m_networkRefreshDelay;
};

} // namespace lumivra
