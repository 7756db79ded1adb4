#include "AppTestFakes.h"
#include "TempHome.h"
#include "Wait.h"
#include "app/AppDelegate.h"
#include "app/SuspendAwareTimer.h"

#include <QPointer>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

class AppTimerTest : public ::testing::Test {
protected:
    // Cycles fail at once on an address that does not parse, so each one shows as "刷新中" then "刷新失败".
    void SetUp() override { storeServerAddress(QStringLiteral("http://[::1")); }

    void launch(std::chrono::milliseconds interval = hourlyRefreshInterval) {
        AppDelegateSeams seams = recordingSeams(shell);
        seams.refreshInterval = interval;
        delegate = std::make_unique<AppDelegate>(std::move(seams));
        delegate->applicationDidFinishLaunching();
    }
    qsizetype cyclesStarted() const { return shell.toolTips.count(QStringLiteral("Lumivra · 刷新中")); }
    bool idle() const {
        return waitUntil([this] { return !delegate->refreshing(); });
    }

    TempHome home;
    ShellRecord shell;
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppTimerTest, launchStartsOneSilentRefreshAndEachTickAnotherOne) {
    launch(20ms);
    EXPECT_EQ(cyclesStarted(), 1);
    EXPECT_TRUE(delegate->refreshing());
    ASSERT_TRUE(waitUntil([this] { return cyclesStarted() >= 3; }));
    EXPECT_TRUE(shell.alerts.isEmpty()) << "timer refreshes never raise an alert";
}

TEST_F(AppTimerTest, tickRunsTheRefreshInALaterTurnOfTheLoop) {
    launch();
    ASSERT_TRUE(idle());
    emit delegate->hourlyTimer()->timeout();
    EXPECT_EQ(cyclesStarted(), 1) << "not inside the timer's callback";
    drainPostedEvents();
    EXPECT_EQ(cyclesStarted(), 2);
}

TEST_F(AppTimerTest, tickDuringARefreshIsNeitherRunNorMadeUpLater) {
    launch();
    ASSERT_TRUE(idle());
    shell.whileAlertOpen = [this] {
        emit delegate->hourlyTimer()->timeout();
        emit delegate->hourlyTimer()->timeout();
        drainPostedEvents();
    };
    delegate->refreshMenuItemClicked();
    ASSERT_TRUE(idle());
    drainPostedEvents();
    EXPECT_EQ(cyclesStarted(), 2);
    EXPECT_EQ(shell.alerts.size(), 1);
}

TEST_F(AppTimerTest, startingTheTimerAgainLeavesOnlyTheNewOne) {
    launch();
    const QPointer<SuspendAwareTimer> first = delegate->hourlyTimer();
    delegate->startTimer();
    EXPECT_TRUE(first.isNull());
    ASSERT_NE(delegate->hourlyTimer(), nullptr);
}

TEST_F(AppTimerTest, tickForADelegateThatIsGoneDoesNothing) {
    launch();
    ASSERT_TRUE(idle());
    emit delegate->hourlyTimer()->timeout();
    delegate.reset();
    drainPostedEvents();
    EXPECT_EQ(cyclesStarted(), 1);
}

} // namespace
