#include "app/SingleInstanceLock.h"

#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumivra;

// One live holder at a time; the lock left by a copy that crashed is taken over.
TEST(SingleInstanceLock, HeldByOneLiveProcessAtATime) {
    QTemporaryDir folder;
    QFile leftover(folder.filePath(QStringLiteral("lumivra.lock")));
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    // A process id above any the kernel hands out, so no process has it.
    leftover.write("2147483647\nlumivra\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    leftover.close();

    auto first = std::make_unique<SingleInstanceLock>(leftover.fileName());
    ASSERT_TRUE(first->tryAcquire());
    SingleInstanceLock second(leftover.fileName());
    EXPECT_FALSE(second.tryAcquire());
    first.reset();
    EXPECT_TRUE(second.tryAcquire());
}
