#pragma once

#include <QString>

namespace lumivra {

// Where the configured server base URL lives: QSettings of organization "Lumivra", application
// "LumivraWallpaper", key "serverBaseURL" (on Linux $XDG_CONFIG_HOME/Lumivra/LumivraWallpaper.conf).
namespace ServerAddressStore {

inline constexpr char key[] = "serverBaseURL";

// Sets the organization and application names that QSettings and the standard paths derive from.
void applyApplicationIdentity();

// The stored address, migrated away from retired endpoints (the store is rewritten when that changes it).
// A missing key reads as empty, which the client turns into the default address.
QString load();

} // namespace ServerAddressStore
} // namespace lumivra
