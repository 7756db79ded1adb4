#include "app/TrayHost.h"

namespace lumivra {

// The menu bar is always there.
std::unique_ptr<QObject> whenTrayHostReady(std::function<void()> ready) {
    ready();
    return nullptr;
}

} // namespace lumivra
