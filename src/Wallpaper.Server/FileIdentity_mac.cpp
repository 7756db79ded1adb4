#include "FileDigest.h"

namespace lumivra::server {

namespace {

qint64 nanoseconds(const struct timespec &time) {
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

} // namespace

FileIdentity FileIdentity::of(const struct stat &status) {
    return {status.st_dev, status.st_ino, status.st_size, nanoseconds(status.st_mtimespec),
            nanoseconds(status.st_ctimespec)};
}

} // namespace lumivra::server
