#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace lumivra::test {

// A headless sway with two outputs, HEADLESS-1 and HEADLESS-2, drawing in memory. Sway refuses to run as
// root, so a root test run starts it, and the clients started through it, as "nobody".
class HeadlessSway {
public:
    // The configuration is sway's own config file, empty by default.
    explicit HeadlessSway(const QByteArray &configuration = {});
    ~HeadlessSway();
    HeadlessSway(const HeadlessSway &) = delete;
    HeadlessSway &operator=(const HeadlessSway &) = delete;

    const QString &ipcSocket() const { return m_socket; }
    // The compositor's socket as a full path, so clients of any user with any runtime folder reach it.
    QString waylandDisplay() const;
    QString log() { return QString::fromLocal8Bit(m_sway.readAll()); }
    // A folder every user may read, for the files sway's clients load as sway's user.
    QString sharedFolder() const { return m_dir.path(); }
    // Starts a program as sway's user inside its session, with the given variables added; it is stopped
    // with sway.
    QProcess &startClient(const QString &program, const QStringList &arguments,
                          const QProcessEnvironment &extra = {});

private:
    QString socket(const QString &pattern) const;
    QProcessEnvironment session() const;
    void startAsSwayUser(QProcess &process, const QStringList &command);

    QTemporaryDir m_dir;
    QString m_runtime;
    QString m_socket;
    QProcess m_sway;
    std::vector<std::unique_ptr<QProcess>> m_clients;
};

} // namespace lumivra::test
