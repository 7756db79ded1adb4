#include "Wait.h"
#include "app/SuspendAwareTimer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <ctime>
#include <gtest/gtest.h>

using namespace lumivra;
using namespace lumivra::test;
using namespace std::chrono_literals;

namespace {

TEST(AppSuspendAwareTimerTest, ticksRepeatedly) {
    int ticks = 0;
    SuspendAwareTimer timer(10ms);
    QObject::connect(&timer, &SuspendAwareTimer::timeout, [&ticks] { ++ticks; });
    EXPECT_TRUE(waitUntil([&] { return ticks >= 3; }));
}

// The kernel's own account of this process's timers: the "clockid" line of each timerfd in /proc.
QStringList timerClocks() {
    QStringList clocks;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (!QFile::symLinkTarget(fd.filePath()).endsWith(QStringLiteral("[timerfd]")))
            continue;
        QFile info(QStringLiteral("/proc/self/fdinfo/") + fd.fileName());
        if (!info.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : info.readAll().split('\n'))
            if (line.startsWith("clockid:"))
                clocks.append(QString::fromLatin1(line.mid(8).trimmed()));
    }
    return clocks;
}

TEST(AppSuspendAwareTimerTest, countsTimeAsleepThroughTheBootClock) {
    const QStringList before = timerClocks();
    {
        SuspendAwareTimer timer(3600s);
        const QStringList during = timerClocks();
        ASSERT_EQ(during.size(), before.size() + 1);
        EXPECT_EQ(during.count(QString::number(CLOCK_BOOTTIME)),
                  before.count(QString::number(CLOCK_BOOTTIME)) + 1);
    }
    EXPECT_EQ(timerClocks(), before) << "a destroyed timer leaves no timer behind";
}

} // namespace
