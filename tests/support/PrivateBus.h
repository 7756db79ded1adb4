#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace lumivra::test {

// Programs a test started, stopped in the order they were started when their owner goes.
struct Processes : std::vector<std::unique_ptr<QProcess>> {
    ~Processes() {
        for (const auto &process : *this) {
            process->kill();
            process->waitForFinished();
        }
    }
};

// A session bus of the test's own, with no services to activate: every peer on it is one the test started,
// whichever user it runs as. Create it after TempHome, so the peers it starts see the temporary HOME.
class PrivateBus {
public:
    PrivateBus();

    QString address() const { return m_address; }
    // A connection of its own, under a name no other bus uses; it closes as the bus goes.
    QDBusConnection connect(const QString &name) {
        return QDBusConnection::connectToBus(m_address, m_address + name);
    }
    // Starts a program with this bus as its session bus and the given variables added; it is stopped with
    // the bus, and killed by the kernel should the test die first.
    QProcess &start(const QString &program, const QStringList &arguments = {},
                    const QProcessEnvironment &extra = {});
    // Waits until some peer owns the name; false when none does before the deadline.
    bool waitForName(const QString &service);

private:
    QTemporaryDir m_dir;
    QString m_address;
    Processes m_processes; // dbus-daemon first
};

} // namespace lumivra::test
