#include "app/NetworkMonitor.h"

#include <gio/gio.h>

namespace lumivra {

namespace {

// GIO picks its monitor once per process: NetworkManager's view in a desktop session, the kernel's
// routes over netlink elsewhere. Its signals come through the default main context, which Qt's event
// loop runs on Linux.
class GioNetworkMonitor : public NetworkMonitor {
public:
    GioNetworkMonitor()
        : m_monitor(g_network_monitor_get_default()),
          m_handler(g_signal_connect(m_monitor, "network-changed",
                                     reinterpret_cast<GCallback>(&GioNetworkMonitor::changed), this)) {}
    ~GioNetworkMonitor() override { g_signal_handler_disconnect(m_monitor, m_handler); }

private:
    static void changed(GNetworkMonitor *, gboolean available, gpointer self) {
        if (available)
            Q_EMIT static_cast<GioNetworkMonitor *>(self)->networkAvailable();
    }

    GNetworkMonitor *m_monitor; // GIO's own, kept for the whole process
    gulong m_handler;
};

} // namespace

std::unique_ptr<NetworkMonitor> makeSystemNetworkMonitor() {
    return std::make_unique<GioNetworkMonitor>();
}

} // namespace lumivra
