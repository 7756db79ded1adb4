#include "PrivateBus.h"

#include "Wait.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>

namespace lumivra::test {

PrivateBus::PrivateBus() {
    // Peers that run as another user may connect as well.
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0711);
    QProcess &daemon =
        start("dbus-daemon", {"--nofork", "--print-address=1", "--address=unix:dir=" + m_dir.path(),
                              "--config-file=" LUMIVRA_PRIVATE_BUS_CONF});
    waitUntil([&] { return daemon.canReadLine(); });
    m_address = QString::fromUtf8(daemon.readLine()).trimmed();
}

QProcess &PrivateBus::start(const QString &program, const QStringList &arguments,
                            const QProcessEnvironment &extra) {
    QProcess &process = *m_processes.emplace_back(std::make_unique<QProcess>());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
    environment.insert(extra);
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    // What the peers print is kept rather than shown, so that the daemon can tell its address.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process;
}

bool PrivateBus::waitForName(const QString &service) {
    const QDBusConnection probe = connect("lumivra-test-probe");
    // A desktop's first start on a busy machine takes long.
    return waitUntil([&] { return probe.interface()->isServiceRegistered(service).value(); },
                     std::chrono::seconds(60));
}

} // namespace lumivra::test
