#pragma once

#include <QtGlobal>

namespace lumivra::test {

// What a process holds right now, read from /proc (and, for this process, the allocator).
struct ProcessGauges {
    qint64 residentBytes = 0;     // VmRSS
    qint64 peakResidentBytes = 0; // VmHWM
    qint64 heapBytes = 0;         // this process only: bytes handed out by malloc and not yet freed
    int openFiles = 0;            // entries of /proc/<pid>/fd
    long cpuTicks = 0;            // processor time used, user and system, in clock ticks

    static ProcessGauges now();
    static ProcessGauges of(qint64 pid);
};

} // namespace lumivra::test
