#include "client/DiskFlush.h"

#include <fcntl.h>
#include <unistd.h>

namespace lumivra {

// On macOS fsync hands the data to the drive, which may keep it in its own cache past a power cut;
// F_FULLFSYNC asks the drive to write it out. File systems that do not support it (some network ones)
// refuse it, and get fsync's promise instead.
bool flushToDisk(int descriptor) {
    return ::fcntl(descriptor, F_FULLFSYNC) == 0 || ::fsync(descriptor) == 0;
}

} // namespace lumivra
