#pragma once

namespace lumivra {

// Makes the process a menu-bar accessory: no Dock icon and no menu bar of its own, alerts still allowed.
// Tray programs on Linux have neither to begin with.
void becomeAccessoryApplication();

} // namespace lumivra
