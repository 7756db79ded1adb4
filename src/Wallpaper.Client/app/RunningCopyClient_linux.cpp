#include "app/RunningCopy.h"
#include "app/RunningCopyBus_linux.h"
#include "app/SingleInstanceLock.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QTextStream>
#include <QThread>

namespace lumivra {

namespace {

enum class RunningCopyState { answers, gone, silent };

bool onTheBus(const QDBusConnection &bus) {
    return bus.interface()->isServiceRegistered(RunningCopyBus::service).value();
}

// The copy holding the lock claims its name a moment after it started; a copy that ended or crashed has
// let the lock go.
RunningCopyState findRunningCopy(const QDBusConnection &bus, SingleInstanceLock &lock) {
    const QDeadlineTimer deadline(RunningCopyBus::answerDeadline);
    while (!onTheBus(bus)) {
        if (!lock.taken())
            return RunningCopyState::gone;
        if (deadline.hasExpired())
            return RunningCopyState::silent;
        QThread::msleep(50);
    }
    return RunningCopyState::answers;
}

QDBusMessage call(const QDBusConnection &bus, const QString &interface, const QString &method,
                  const QVariantList &arguments) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(RunningCopyBus::service, RunningCopyBus::path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block,
                    static_cast<int>(std::chrono::milliseconds(RunningCopyBus::answerDeadline).count()));
}

QDBusMessage send(const QDBusConnection &bus, const Command &command) {
    const QVariantMap platformData;
    const auto action = [&](const QString &name, const QVariantList &parameter = {}) {
        return call(bus, RunningCopyBus::applicationInterface, QStringLiteral("ActivateAction"),
                    {name, parameter, platformData});
    };
    switch (command.kind) {
    case Command::Kind::status:
        return call(bus, RunningCopyBus::statusInterface, QStringLiteral("Status"), {});
    case Command::Kind::refresh:
        return action(QStringLiteral("refresh"));
    case Command::Kind::quit:
        return action(QStringLiteral("quit"));
    case Command::Kind::launchAtLogin:
        return action(QStringLiteral("launch-at-login"), {command.launchAtLogin});
    default:
        return call(bus, RunningCopyBus::applicationInterface, QStringLiteral("Activate"), {platformData});
    }
}

// The tool tip's text, then the picture's path when there is one.
int printStatus(const QVariantList &answer) {
    QTextStream out(stdout);
    out << answer.value(0).toString() << '\n';
    if (const QString picture = answer.value(1).toString(); !picture.isEmpty())
        out << picture << '\n';
    return answer.value(2).toBool() ? 0 : failedExitStatus;
}

int tell(const QDBusConnection &bus, const Command &command) {
    const QDBusMessage reply = send(bus, command);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        QTextStream(stderr) << "lumivra: " << reply.errorMessage() << '\n';
        return failedExitStatus;
    }
    if (command.kind == Command::Kind::status)
        return printStatus(reply.arguments());
    if (command.kind == Command::Kind::quit) {
        // Until the copy has left, so that whatever a script starts next finds it gone.
        const QDeadlineTimer deadline(RunningCopyBus::answerDeadline);
        while (onTheBus(bus) && !deadline.hasExpired())
            QThread::msleep(20);
    }
    return 0;
}

} // namespace

std::optional<int> askRunningCopy(const Command &command, SingleInstanceLock &lock) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QTextStream(stderr) << "lumivra: Lumivra 已在运行，但没有会话总线可以联系它。\n";
        return failedExitStatus;
    }
    switch (findRunningCopy(bus, lock)) {
    case RunningCopyState::answers:
        return tell(bus, command);
    case RunningCopyState::gone:
        return std::nullopt;
    case RunningCopyState::silent:
        break;
    }
    QTextStream(stderr) << "lumivra: Lumivra 在运行，但没有在会话总线上回应。\n";
    return failedExitStatus;
}

} // namespace lumivra
