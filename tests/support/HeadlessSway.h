#pragma once

#include "PrivateBus.h"

namespace lumivra::test {

// A headless sway with two outputs, HEADLESS-1 and HEADLESS-2, drawing in memory. Sway refuses to run as
// root, so a root test run starts it, and the clients started through it, as "nobody".
class HeadlessSway {
public:
    // The configuration is sway's own config file, empty by default.
    explicit HeadlessSway(const QByteArray &configuration = {});

    QString ipcSocket() const { return socket(QStringLiteral("sway-ipc.*.sock")); }
    // The compositor's socket as a full path, so clients of any user with any runtime folder reach it.
    QString waylandDisplay() const { return socket(QStringLiteral("wayland-[0-9]")); }
    QString log() { return m_processes.empty() ? "" : QString::fromLocal8Bit(m_processes[0]->readAll()); }
    // A folder every user may read, for the files sway's clients load as sway's user.
    QString sharedFolder() const { return m_dir.path(); }
    // Starts a program as sway's user inside its session, with the given variables added; it is stopped
    // with sway.
    QProcess &startClient(const QString &program, const QStringList &arguments,
                          const QProcessEnvironment &extra = {});

private:
    QString socket(const QString &pattern) const;

    QTemporaryDir m_dir;
    Processes m_processes; // sway first
};

} // namespace lumivra::test
