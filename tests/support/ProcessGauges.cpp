#include "ProcessGauges.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <cstddef>
// From the sanitizer runtime; GCC does not install the header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace lumivra::test {

namespace {

// Files under /proc report a size of zero, so they are read whole rather than line by line.
QByteArray readProc(qint64 pid, const char *name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 statusBytes(const QByteArray &status, const QByteArray &key) {
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// The sanitizer's allocator replaces malloc, and glibc's statistics then read zero.
qint64 allocatedBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<qint64>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return static_cast<qint64>(info.uordblks + info.hblkhd);
#endif
}

} // namespace

ProcessGauges ProcessGauges::of(qint64 pid) {
    const QByteArray status = readProc(pid, "status");
    const QByteArray stat = readProc(pid, "stat");
    // The fields after the parenthesised name; utime and stime are the 12th and 13th of them.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    // The listing's own descriptor is counted every time, so it cancels out between two readings.
    const auto files = QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                           .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                           .size();
    return {statusBytes(status, "VmRSS"), statusBytes(status, "VmHWM"), 0, static_cast<int>(files),
            fields.value(11).toLong() + fields.value(12).toLong()};
}

ProcessGauges ProcessGauges::now() {
    ProcessGauges gauges = of(::getpid());
    gauges.heapBytes = allocatedBytes();
    return gauges;
}

} // namespace lumivra::test
