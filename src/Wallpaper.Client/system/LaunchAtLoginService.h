#pragma once

#include <QString>

namespace lumivra::LaunchAtLoginService {

// True when the login entry exists (and, on Linux, the desktop does not treat it as disabled).
bool isEnabled();

// True writes the entry (replacing any), false removes whatever is there. Throws FileError on failure.
void setEnabled(bool enabled);

// Where the entry lives: ~/Library/LaunchAgents/site.lumivra.wallpaper.mac.plist on macOS,
// $XDG_CONFIG_HOME/autostart/site.lumivra.wallpaper.desktop on Linux.
QString launchAgentURL();

} // namespace lumivra::LaunchAtLoginService
