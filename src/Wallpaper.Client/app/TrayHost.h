#pragma once

#include <QObject>
#include <functional>
#include <memory>

namespace lumivra {

// Calls `ready` once, as soon as the desktop can show a tray icon: at once where a tray icon always finds
// its way to a tray, later where it must not be made before a tray exists. Waiting stops when the returned
// object (if any) is dropped.
std::unique_ptr<QObject> whenTrayHostReady(std::function<void()> ready);

} // namespace lumivra
