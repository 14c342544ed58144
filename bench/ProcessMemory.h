#pragma once

#include <sys/types.h>

#include <fstream>
#include <string>

// Memory figures of a process from /proc, for the benchmarks' counters.
namespace pivorel::bench {

// A "Vm…:" line of /proc/<pid>/status in kB (pid 0: this process); 0 when absent.
inline long statusKb(const std::string& field, pid_t pid = 0) {
    std::ifstream status(pid ? "/proc/" + std::to_string(pid) + "/status" : "/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    }
    return 0;
}

// The peak resident memory of this process, in kB, since the last reset.
inline long peakRssKb() {
    return statusKb("VmHWM");
}
inline void resetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The resident set of `pid` in megabytes.
inline double residentMB(pid_t pid) {
    return statusKb("VmRSS", pid) / 1024.0;
}

}  // namespace pivorel::bench
