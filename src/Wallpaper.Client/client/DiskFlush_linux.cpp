#include "client/DiskFlush.h"

#include <unistd.h>

namespace lumivra {

bool flushToDisk(int descriptor) {
    return ::fsync(descriptor) == 0;
}

} // namespace lumivra
