#include "OpenFileLimit.h"

#include <algorithm>
#include <climits>
#include <sys/resource.h>
#include <sys/sysctl.h>
#include <sys/syslimits.h>
#include <sys/types.h>

namespace lumivra::server {

// The hard limit is usually unlimited, which setrlimit refuses as a soft limit; the real ceiling is the
// kernel's per-process maximum (OPEN_MAX when it cannot be read).
void raiseOpenFileLimit() {
    struct rlimit files = {};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
        return;
    int perProcess = 0;
    size_t size = sizeof perProcess;
    const rlim_t ceiling =
        ::sysctlbyname("kern.maxfilesperproc", &perProcess, &size, nullptr, 0) == 0 && perProcess > 0
            ? rlim_t(perProcess)
            : rlim_t(OPEN_MAX);
    const rlim_t wanted = std::min(files.rlim_max, ceiling);
    if (files.rlim_cur < wanted) {
        files.rlim_cur = wanted;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

} // namespace lumivra::server
