#include "PrivateBus.h"

#include "Wait.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcessEnvironment>
#include <signal.h>
#include <stdexcept>
#include <sys/prctl.h>

namespace lumivra::test {

namespace {

void dieWithParent() {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

QByteArray configuration(const QString &socketDir) {
    return QByteArrayLiteral(
               R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=)") +
           socketDir.toUtf8() + QByteArrayLiteral(R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
    <allow user="*"/>
  </policy>
</busconfig>
)");
}

} // namespace

PrivateBus::PrivateBus() {
    // Peers that run as another user (sway and its panel refuse to run as root) may connect as well.
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ExeGroup | QFile::ExeOther);
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(configuration(m_dir.path())) < 0)
        throw std::runtime_error("cannot write the bus configuration");
    file.close();

    m_daemon.setChildProcessModifier(dieWithParent);
    m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                    QStringLiteral("--config-file=") + config});
    if (!waitUntil([this] { return m_daemon.canReadLine() || m_daemon.state() == QProcess::NotRunning; }) ||
        !m_daemon.canReadLine())
        throw std::runtime_error("dbus-daemon did not start");
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    for (const QString &name : std::as_const(m_connections))
        QDBusConnection::disconnectFromBus(name);
    for (auto &peer : m_peers) {
        peer->terminate();
        if (!peer->waitForFinished(5000))
            peer->kill();
        peer->waitForFinished();
    }
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000))
        m_daemon.kill();
    m_daemon.waitForFinished();
}

QDBusConnection PrivateBus::connect(const QString &name) {
    m_connections.append(name);
    return QDBusConnection::connectToBus(m_address, name);
}

QProcess &PrivateBus::start(const QString &program, const QStringList &arguments,
                            const QProcessEnvironment &extra) {
    auto &peer = m_peers.emplace_back(std::make_unique<QProcess>());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    environment.insert(extra);
    peer->setProcessEnvironment(environment);
    peer->setChildProcessModifier(dieWithParent);
    peer->setProcessChannelMode(QProcess::ForwardedChannels);
    peer->start(program, arguments);
    return *peer;
}

bool PrivateBus::waitForName(const QString &service) {
    QDBusConnection probe = connect(QStringLiteral("lumivra-test-probe"));
    return waitUntil([&] { return probe.interface()->isServiceRegistered(service).value(); });
}

} // namespace lumivra::test
