#include "Files.h"
#include "app/AppDelegate.h"

#include <QDir>
#include <ctime>
#include <gtest/gtest.h>

using namespace lumivra;

// The intervals of this process's timers on the boot clock, which goes on while the machine sleeps, as the
// kernel lists them: "(seconds, nanoseconds) " each.
static std::string bootClockTimerIntervals() {
    const QDir fds(QStringLiteral("/proc/self/fdinfo"));
    QString intervals;
    for (const QString &fd : fds.entryList(QDir::Files)) {
        const QString info = lumivra::test::readFile(fds.filePath(fd));
        if (info.contains(QStringLiteral("\nclockid: %1\n").arg(CLOCK_BOOTTIME)))
            intervals += info.section(QStringLiteral("it_interval: "), 1).section(u'\n', 0, 0) + u' ';
    }
    return intervals.toStdString();
}

// The delegate's own timer, as the program arms it: hourly, asleep or not, and only one however often it
// is started.
TEST(SuspendAwareTimer, TheDelegatesTimerTicksHourlyOnTheBootClock) {
    const std::string before = bootClockTimerIntervals();
    {
        AppDelegate delegate;
        delegate.startTimer();
        delegate.startTimer();
        EXPECT_EQ(bootClockTimerIntervals(), before + "(3600, 0) ");
    }
    EXPECT_EQ(bootClockTimerIntervals(), before) << "a destroyed timer leaves no timer behind";
}
