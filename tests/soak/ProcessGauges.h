#pragma once

#include <QtGlobal>

namespace lumivra::test {

// What this process holds right now, read from /proc and the allocator.
struct ProcessGauges {
    qint64 residentBytes = 0; // VmRSS
    qint64 heapBytes = 0;     // bytes handed out by malloc and not yet freed
    int openFiles = 0;        // entries of /proc/self/fd

    static ProcessGauges now();
};

} // namespace lumivra::test
