#include "HeadlessSway.h"

#include "Wait.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

namespace lumivra::test {

namespace {

constexpr uid_t nobody = 65534;

void stop(QProcess &process) {
    process.terminate();
    if (!process.waitForFinished())
        process.kill();
    process.waitForFinished();
}

} // namespace

HeadlessSway::HeadlessSway(const QByteArray &configuration) {
    m_runtime = m_dir.path() + QStringLiteral("/runtime");
    QDir().mkpath(m_runtime);
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::ExeOther);
    QFile config(m_dir.path() + QStringLiteral("/config"));
    config.open(QIODevice::WriteOnly);
    config.write(configuration);
    config.close();
    config.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    if (geteuid() == 0 && chown(QFile::encodeName(m_runtime).constData(), nobody, nobody) != 0)
        return;

    QProcessEnvironment environment = session();
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    environment.insert(QStringLiteral("WLR_HEADLESS_OUTPUTS"), QStringLiteral("2"));
    m_sway.setProcessEnvironment(environment);
    m_sway.setProcessChannelMode(QProcess::MergedChannels);
    startAsSwayUser(m_sway, {QStringLiteral("sway"), QStringLiteral("-c"), config.fileName()});
    waitUntil([this] {
        return !socket(QStringLiteral("sway-ipc.*.sock")).isEmpty() || m_sway.state() == QProcess::NotRunning;
    });
    m_socket = socket(QStringLiteral("sway-ipc.*.sock"));
}

HeadlessSway::~HeadlessSway() {
    for (auto &client : m_clients)
        stop(*client);
    stop(m_sway);
}

QString HeadlessSway::waylandDisplay() const {
    return socket(QStringLiteral("wayland-[0-9]"));
}

QProcess &HeadlessSway::startClient(const QString &program, const QStringList &arguments,
                                    const QProcessEnvironment &extra) {
    auto &client = m_clients.emplace_back(std::make_unique<QProcess>());
    QProcessEnvironment environment = session();
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), waylandDisplay());
    environment.insert(extra);
    client->setProcessEnvironment(environment);
    client->setProcessChannelMode(QProcess::ForwardedChannels);
    startAsSwayUser(*client, QStringList{program} + arguments);
    return *client;
}

QString HeadlessSway::socket(const QString &pattern) const {
    const QStringList sockets = QDir(m_runtime).entryList({pattern}, QDir::System | QDir::Files);
    return sockets.isEmpty() ? QString() : m_runtime + QLatin1Char('/') + sockets.first();
}

QProcessEnvironment HeadlessSway::session() const {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    environment.insert(QStringLiteral("HOME"), m_dir.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
    return environment;
}

void HeadlessSway::startAsSwayUser(QProcess &process, const QStringList &command) {
    if (geteuid() == 0)
        process.start(QStringLiteral("setpriv"),
                      QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                  QStringLiteral("--clear-groups")} +
                          command);
    else
        process.start(command.first(), command.mid(1));
}

} // namespace lumivra::test
