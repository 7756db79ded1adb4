#pragma once

#include <QtGlobal>

namespace lumivra::test {

// What a process holds right now, read from /proc.
struct ProcessGauges {
    qint64 residentBytes = 0;     // VmRSS
    qint64 peakResidentBytes = 0; // VmHWM
    int openFiles = 0;            // entries of /proc/<pid>/fd
    long cpuTicks = 0;            // processor time used, user and system, in clock ticks

    static ProcessGauges of(qint64 pid);
};

} // namespace lumivra::test
