#include "process_probe.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef __linux__
#include <malloc.h>
#include <sys/resource.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define TORVEX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TORVEX_ASAN 1
#endif
#endif

#ifdef TORVEX_ASAN
// From the sanitizer runtime; GCC ships no header declaring it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace torvex::soak {

namespace {

#ifdef __linux__
std::size_t heapInUse()
{
#ifdef TORVEX_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}
#endif

} // namespace

ProcessSample sampleProcess()
{
    ProcessSample sample;
#ifdef __linux__
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "VmRSS:") {
            double kb = 0;
            fields >> kb;
            sample.rssMb = kb * 1024 / 1e6;
        } else if (key == "Threads:") {
            fields >> sample.threads;
        }
    }
    std::error_code ec;
    int entries = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec))
        ++entries;
    sample.openFiles = entries - 1; // the listing's own descriptor
    sample.heapBytes = heapInUse();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    sample.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    sample.available = sample.threads > 0 && !ec;
#endif
    return sample;
}

std::string heapCounter()
{
#ifdef TORVEX_ASAN
    return "AddressSanitizer's bytes in use";
#else
    return "mallinfo2 in-use bytes";
#endif
}

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace torvex::soak
