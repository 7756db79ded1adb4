#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/RunningCopy.h"
#include "app/SingleInstanceLock.h"
#include "client/Errors.h"
#include "client/ServerAddressStore.h"
#include "client/Translations.h"
#include "system/LaunchAtLoginService.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <QTimer>
#include <unistd.h>

using namespace lumivra;

namespace {

QStringList argumentsOf(int argc, char **argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// --help, --version and mistakes, which need no display and reach no other copy.
int printUsage(const Command &command) {
    installQtTranslations();
    if (command.kind == Command::Kind::invalid) {
        QTextStream(stderr) << "lumivra: " << command.error << "\n用 lumivra --help 查看用法。\n";
        return usageExitStatus;
    }
    QTextStream(stdout) << (command.kind == Command::Kind::help ? commandLineHelp() : versionText() + '\n');
    return 0;
}

// A command other than a start or a refresh while no copy runs (this process holds the lock).
int answerWithoutRunningCopy(const Command &command) {
    if (command.kind != Command::Kind::launchAtLogin) {
        QTextStream(stderr) << "lumivra: Lumivra 没有在运行。\n";
        return failedExitStatus;
    }
    try {
        LaunchAtLoginService::setEnabled(command.launchAtLogin);
    } catch (const Error &error) {
        QTextStream(stderr) << "lumivra: 开机启动设置失败：" << error.localizedDescription() << '\n';
        return failedExitStatus;
    }
    return 0;
}

int run(int &argc, char **argv, SingleInstanceLock &instanceLock, const Command &command) {
    prepareRunningCopy();
    QApplication application(argc, argv);
    // The program has no window: closing an alert must not end it, only the menu's quit command does.
    QApplication::setQuitOnLastWindowClosed(false);
    installQtTranslations();

    AppDelegate delegate;
    const std::unique_ptr<QObject> door = serveOtherStarts(delegate);
    // Another copy answers at the door though it does not hold this lock: it is the running one.
    if (!door)
        return askRunningCopy(command, instanceLock).value_or(failedExitStatus);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    QApplication::exec();
    delegate.applicationWillTerminate();
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const Command command = parseCommandLine(argumentsOf(argc, argv));
    ServerAddressStore::applyApplicationIdentity();
    if (command.kind == Command::Kind::help || command.kind == Command::Kind::version ||
        command.kind == Command::Kind::invalid) {
        const QCoreApplication application(argc, argv);
        return printUsage(command);
    }

    // The lock comes first and alone decides which process is the running copy; its name on the bus is
    // only the way to reach it, and a copy that crashed leaves neither behind.
    SingleInstanceLock instanceLock;
    if (instanceLock.tryAcquire()) {
        // Only a start or a refresh makes this process the running copy.
        if (command.kind == Command::Kind::start || command.kind == Command::Kind::refresh)
            return run(argc, argv, instanceLock, command);
        const QCoreApplication application(argc, argv);
        return answerWithoutRunningCopy(command);
    }
    const QCoreApplication application(argc, argv);
    if (const std::optional<int> status = askRunningCopy(command, instanceLock))
        return *status;
    // The copy that held the lock ended while this start waited for it: start over, to run in its place
    // or to find the next one.
    ::execv(QFile::encodeName(QCoreApplication::applicationFilePath()).constData(), argv);
    return failedExitStatus;
}
