#include "ProcessGauges.h"

#include <QDir>
#include <QFile>

namespace lumivra::test {

ProcessGauges ProcessGauges::of(qint64 pid) {
    const QString folder = QStringLiteral("/proc/%1/").arg(pid);
    // Files under /proc report a size of zero, so they are read whole rather than line by line.
    const auto read = [&folder](const char *name) {
        QFile file(folder + QLatin1String(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    };
    const QString status = read("status");
    const auto bytes = [&status](const char *key) {
        return status.section(QLatin1String(key), 1).section(u'k', 0, 0).trimmed().toLongLong() * 1024;
    };
    // The fields after the parenthesised name; utime and stime are the 12th and 13th of them.
    const QStringList stat = read("stat").section(u')', -1).split(u' ', Qt::SkipEmptyParts);
    // The listing's own descriptor is counted every time, so it cancels out between two readings.
    const QStringList files =
        QDir(folder + QStringLiteral("fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return {bytes("VmRSS:"), bytes("VmHWM:"), int(files.size()),
            stat.value(11).toLong() + stat.value(12).toLong()};
}

} // namespace lumivra::test
