#pragma once

#include "app/Alert.h"
#include "app/StatusItem.h"
#include "app/SuspendAwareTimer.h"
#include "client/ServerAddressStore.h"
#include "client/WallpaperAPIClient.h"
#include "system/WallpaperSetter.h"

#include <QAction>
#include <QCoro/QCoroTask>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

namespace lumivra {

// Time between two automatic refreshes, counted from the start of the timer, sleep included.
inline constexpr std::chrono::milliseconds hourlyRefreshInterval = std::chrono::seconds(3600);

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
    WallpaperAPIClient::Timeouts clientTimeouts;
    std::chrono::milliseconds refreshInterval = hourlyRefreshInterval;
};

// The application shell: the status item with its menu, the hourly timer and the refresh cycle that
// brings today's wallpaper onto every screen. Everything runs on the main thread.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(AppDelegateSeams seams = {});
    ~AppDelegate() override;

    // The launch sequence, run once the event loop runs: status item and menu, timer, first refresh.
    void applicationDidFinishLaunching();

    // Starts a refresh cycle unless one is running (then the request is dropped without a trace). Returns
    // at once; the cycle reports in the tool tip, and in an alert only when showSuccess is set.
    void refreshWallpaper(bool showSuccess);

    // Replaces any running timer by a new one of the refresh interval.
    void startTimer();

    bool refreshing() const { return m_isRefreshing; }
    SuspendAwareTimer *hourlyTimer() const { return m_timer.get(); }

    // The menu's commands.
    void refreshMenuItemClicked();
    void toggleLaunchAtLogin();
    void showAbout();
    void quit();

private:
    void configureStatusItem();
    // Builds the menu on first use and hands it to the status item; afterwards brings it up to date.
    void rebuildMenu();
    std::unique_ptr<QMenu> makeMenu();
    void setToolTip(const QString &state);
    QCoro::Task<> runRefreshCycle(QString serverBaseURL, bool showSuccess);

    AppDelegateSeams m_seams;
    std::unique_ptr<StatusItem> m_statusItem;
    // Owned by the status item's menu.
    QPointer<QAction> m_launchAtLoginItem;
    std::unique_ptr<SuspendAwareTimer> m_timer;
    bool m_isRefreshing = false;
};

} // namespace lumivra
