#pragma once

#include "system/DesktopBackend.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <chrono>
#include <memory>

namespace lumivra {

// How long a desktop may take to answer one call before the picture counts as not set.
inline constexpr std::chrono::milliseconds desktopCallTimeout{10000};

// One desktop service on the bus, asked synchronously with a bounded wait.
class DesktopPeer {
public:
    // desktopName is how the user knows this desktop ("KDE Plasma"); it starts every error message.
    DesktopPeer(QDBusConnection bus, std::chrono::milliseconds timeout, QString desktopName, QString service,
                QString path, QString interface);

    // Returns the reply's arguments; throws DesktopError with the peer's own text when the call fails.
    QVariantList call(const QString &method, const QVariantList &arguments = {}) const;

    // The same, but hands a D-Bus error back to the caller instead of throwing it, for errors that mean
    // "nothing there yet"; a call that never reached the peer still throws.
    QDBusMessage tryCall(const QString &method, const QVariantList &arguments = {}) const;

    [[noreturn]] void fail(const QDBusMessage &error) const;
    const QString &desktopName() const { return m_desktopName; }

private:
    QDBusConnection m_bus;
    std::chrono::milliseconds m_timeout;
    QString m_desktopName;
    QString m_service;
    QString m_path;
    QString m_interface;
};

// The D-Bus desktops with the bus and the wait chosen by the caller (the factories without arguments use
// the session bus and desktopCallTimeout).
std::unique_ptr<DesktopBackend> makePlasmaBackend(const QDBusConnection &bus,
                                                  std::chrono::milliseconds timeout);
std::unique_ptr<DesktopBackend> makeXfceBackend(const QDBusConnection &bus,
                                                std::chrono::milliseconds timeout);
std::unique_ptr<DesktopBackend> makeLxqtBackend(const QDBusConnection &bus,
                                                std::chrono::milliseconds timeout);

} // namespace lumivra
