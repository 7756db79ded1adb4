#include "app/SuspendAwareTimer.h"

#include <QDir>
#include <ctime>
#include <gtest/gtest.h>

using namespace lumivra;

// This process's timers on the boot clock, which goes on while the machine sleeps, as the kernel lists them.
static int bootClockTimers() {
    const QDir fds(QStringLiteral("/proc/self/fdinfo"));
    int count = 0;
    for (const QString &fd : fds.entryList(QDir::Files)) {
        QFile info(fds.filePath(fd));
        count += info.open(QIODevice::ReadOnly) &&
                 info.readAll().contains("\nclockid: " + QByteArray::number(CLOCK_BOOTTIME) + "\n");
    }
    return count;
}

TEST(AppSuspendAwareTimer, CountsTimeAsleep) {
    const int before = bootClockTimers();
    {
        const SuspendAwareTimer timer(std::chrono::hours(1));
        EXPECT_EQ(bootClockTimers(), before + 1);
    }
    EXPECT_EQ(bootClockTimers(), before) << "a destroyed timer leaves no timer behind";
}
