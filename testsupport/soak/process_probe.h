#pragma once

// What the process holds right now, read from /proc/self (Linux only; elsewhere `available` is false).

#include <cstddef>
#include <string>

namespace torvex::soak {

struct ProcessSample {
    bool available = false;
    double rssMb = 0;          // resident set (VmRSS), MB of 10^6 bytes
    int threads = 0;           // threads of the process
    int openFiles = 0;         // file descriptors
    std::size_t heapBytes = 0; // bytes handed out by malloc and not yet freed (see heapCounter())
    double cpuSeconds = 0;     // user + system time of the whole process
};

ProcessSample sampleProcess();

// Which count heapBytes is: under AddressSanitizer its own allocator's count of bytes in use (glibc's counters
// see none of the program's allocations there), else glibc's mallinfo2 (in-use arena and mmapped bytes).
std::string heapCounter();

// CPU time of the calling thread, in seconds.
double threadCpuSeconds();

} // namespace torvex::soak
