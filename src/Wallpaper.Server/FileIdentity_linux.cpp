#include "FileDigest.h"

namespace lumivra::server {

const struct timespec &modificationTime(const struct stat &status) {
    return status.st_mtim;
}

const struct timespec &changeTime(const struct stat &status) {
    return status.st_ctim;
}

} // namespace lumivra::server
