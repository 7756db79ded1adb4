#include "FileDigest.h"

namespace lumivra::server {

const struct timespec &modificationTime(const struct stat &status) {
    return status.st_mtimespec;
}

const struct timespec &changeTime(const struct stat &status) {
    return status.st_ctimespec;
}

} // namespace lumivra::server
