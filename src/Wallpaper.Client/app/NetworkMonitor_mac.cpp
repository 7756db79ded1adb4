#include "app/NetworkMonitor.h"

#include <Network/Network.h>
#include <QPointer>
#include <dispatch/dispatch.h>

namespace lumivra {

namespace {

// The path monitor reports the current path at once and then every change; only changes are news. Its
// handler runs on the main queue, which the main run loop (Qt's event loop) serves.
class PathNetworkMonitor : public NetworkMonitor {
public:
    PathNetworkMonitor() : m_monitor(nw_path_monitor_create()) {
        nw_path_monitor_set_queue(m_monitor, dispatch_get_main_queue());
        __block bool first = true;
        // Guards against an update already queued when the monitor went.
        const QPointer<PathNetworkMonitor> self(this);
        nw_path_monitor_set_update_handler(m_monitor, ^(nw_path_t path) {
          const bool news = !first;
          first = false;
          if (news && self && nw_path_get_status(path) == nw_path_status_satisfied)
              Q_EMIT self->networkAvailable();
        });
        nw_path_monitor_start(m_monitor);
    }
    ~PathNetworkMonitor() override {
        nw_path_monitor_cancel(m_monitor);
        nw_release(m_monitor);
    }

private:
    nw_path_monitor_t m_monitor;
};

} // namespace

std::unique_ptr<NetworkMonitor> makeSystemNetworkMonitor() {
    return std::make_unique<PathNetworkMonitor>();
}

} // namespace lumivra
