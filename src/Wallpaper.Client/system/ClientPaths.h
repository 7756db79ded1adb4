#pragma once

#include <QString>

namespace lumivra {

namespace ClientPaths {
// <GenericDataLocation>/LumivraWallpaper/wallpapers; both folders are created on every read, errors ignored.
QString wallpaperCache();
} // namespace ClientPaths

} // namespace lumivra
