#include "OpenFileLimit.h"

#include <sys/resource.h>

namespace lumivra::server {

void raiseOpenFileLimit() {
    struct rlimit files = {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

} // namespace lumivra::server
