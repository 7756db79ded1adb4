#include "ProcessGauges.h"

#include <QDir>
#include <QFile>

#if defined(__SANITIZE_ADDRESS__)
#include <cstddef>
// From the sanitizer runtime; GCC does not install the header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace lumivra::test {

namespace {

qint64 readResidentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // Files under /proc report a size of zero, so they are read whole rather than line by line.
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// The sanitizer's allocator replaces malloc, and glibc's statistics then read zero.
qint64 readHeapBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<qint64>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return static_cast<qint64>(info.uordblks + info.hblkhd);
#endif
}

int countOpenFiles() {
    // The listing's own descriptor is counted every time, so it cancels out between two readings.
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                                .size());
}

} // namespace

ProcessGauges ProcessGauges::now() {
    return {readResidentBytes(), readHeapBytes(), countOpenFiles()};
}

} // namespace lumivra::test
