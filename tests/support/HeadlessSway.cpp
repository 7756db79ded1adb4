#include "HeadlessSway.h"

#include "Files.h"
#include "Wait.h"

#include <QDir>
#include <QLocalSocket>
#include <sys/stat.h>
#include <unistd.h>

namespace lumivra::test {

HeadlessSway::HeadlessSway(const QByteArray &configuration) {
    const QByteArray runtime = QFile::encodeName(m_dir.filePath("runtime"));
    const QString config = m_dir.filePath("config");
    if (::chmod(QFile::encodeName(m_dir.path()).constData(), 0755) != 0 ||
        !writeFile(config, configuration) || ::mkdir(runtime.constData(), 0700) != 0 ||
        (geteuid() == 0 && chown(runtime.constData(), 65534, 65534) != 0))
        return;
    // wlroots draws in memory, on two outputs, and wants no input device.
    const QProcess &sway =
        startClient("env", {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_HEADLESS_OUTPUTS=2",
                            "WLR_LIBINPUT_NO_DEVICES=1", "sway", "-c", config});
    // Sway creates its socket's file a moment before it listens on it.
    waitUntil([&] {
        QLocalSocket probe;
        probe.connectToServer(ipcSocket());
        return probe.waitForConnected(100) || sway.state() == QProcess::NotRunning;
    });
}

QProcess &HeadlessSway::startClient(const QString &program, const QStringList &arguments,
                                    const QProcessEnvironment &extra) {
    QProcess &process = *m_processes.emplace_back(std::make_unique<QProcess>());
    const bool isSway = m_processes.size() == 1;
    QProcessEnvironment environment = extra;
    environment.insert("PATH", qEnvironmentVariable("PATH"));
    environment.insert("HOME", m_dir.path());
    environment.insert("XDG_RUNTIME_DIR", m_dir.filePath("runtime"));
    environment.insert("WAYLAND_DISPLAY", waylandDisplay());
    process.setProcessEnvironment(environment);
    // Sway's own output is kept for log(); its clients' goes to the test's log.
    process.setProcessChannelMode(isSway ? QProcess::MergedChannels : QProcess::ForwardedChannels);
    const QStringList asNobody{"--reuid=65534", "--regid=65534", "--clear-groups", program};
    process.start(geteuid() == 0 ? "setpriv" : program, geteuid() == 0 ? asNobody + arguments : arguments);
    return process;
}

QString HeadlessSway::socket(const QString &pattern) const {
    return QDir(m_dir.filePath("runtime")).entryInfoList({pattern}, QDir::System).value(0).filePath();
}

} // namespace lumivra::test
