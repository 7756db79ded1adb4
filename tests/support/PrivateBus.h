#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace lumivra::test {

// A session bus of the test's own, with no services to activate: every peer on it is one the test started,
// whichever user it runs as. Create it after TempHome, so the peers it starts see the temporary HOME.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();

    QString address() const { return m_address; }
    // A connection of its own, closed with the bus.
    QDBusConnection connect(const QString &name);
    // Starts a program with this bus as its session bus and the given variables added; it is stopped with
    // the bus, and killed by the kernel should the test die first.
    QProcess &start(const QString &program, const QStringList &arguments = {},
                    const QProcessEnvironment &extra = {});
    // Waits until some peer owns the name; false when none does before the deadline.
    bool waitForName(const QString &service);

private:
    QTemporaryDir m_dir;
    QString m_address;
    QStringList m_connections;
    std::vector<std::unique_ptr<QProcess>> m_processes; // dbus-daemon first
};

} // namespace lumivra::test
