#include "app/SingleInstanceLock.h"

#include "Files.h"

#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumivra;

// One live holder at a time; the lock left by a copy that crashed is taken over.
TEST(SingleInstanceLock, HeldByOneLiveProcessAtATime) {
    QTemporaryDir folder;
    const QString leftover = folder.filePath(QStringLiteral("lumivra.lock"));
    // A process id above any the kernel hands out, so no process has it.
    ASSERT_TRUE(
        test::writeFile(leftover, "2147483647\nlumivra\n" + QSysInfo::machineHostName().toUtf8() + "\n"));

    auto first = std::make_unique<SingleInstanceLock>(leftover);
    ASSERT_TRUE(first->tryAcquire());
    SingleInstanceLock second(leftover);
    EXPECT_FALSE(second.tryAcquire());
    first.reset();
    EXPECT_TRUE(second.tryAcquire());
}
