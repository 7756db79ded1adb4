#include "app/SingleInstanceLock.h"

#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumivra;

namespace {

TEST(AppSingleInstanceLockTest, secondHolderIsRefusedUntilTheFirstIsGone) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("lumivra.lock"));
    auto first = std::make_unique<SingleInstanceLock>(path);
    ASSERT_TRUE(first->tryAcquire());

    SingleInstanceLock second(path);
    EXPECT_FALSE(second.tryAcquire());

    first.reset();
    EXPECT_TRUE(second.tryAcquire());
}

TEST(AppSingleInstanceLockTest, lockLeftByAProcessThatDiedIsTakenOver) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("lumivra.lock"));
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 deadProcess = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    QFile leftover(path);
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.write(QByteArray::number(deadProcess) + "\nlumivra\n" + QSysInfo::machineHostName().toUtf8() +
                   "\n");
    leftover.close();

    SingleInstanceLock lock(path);
    EXPECT_TRUE(lock.tryAcquire());
}

} // namespace
