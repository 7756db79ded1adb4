#pragma once

#include "client/Models.h"

#include <QString>

namespace lumivra {

namespace WallpaperCache {
// "<id>-<first 12 characters of sha256>.<extension>" inside the cache folder; never fails, never
// checks for the file, and always names a file directly inside the cache folder.
QString path(const WallpaperMetadataResponse &metadata);
} // namespace WallpaperCache

} // namespace lumivra
