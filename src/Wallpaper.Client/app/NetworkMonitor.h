#pragma once

#include <QObject>
#include <memory>

namespace lumivra {

// Tells when the system says the network is available: a way out appeared (a default route, the
// desktop's network manager connected, the Mac found a usable path) or changed while one is there. Such
// news comes often and in bursts; what follows from it is for the listener to limit.
class NetworkMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    void networkAvailable();
};

// The system's own monitor: GIO's GNetworkMonitor on Linux, Network.framework's path monitor on macOS.
std::unique_ptr<NetworkMonitor> makeSystemNetworkMonitor();

} // namespace lumivra
