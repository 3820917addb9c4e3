#pragma once
// The processor time the whole process has used so far, in seconds: what a test or a benchmark
// compares before and after a stretch of waiting to see what the waiting cost. Never fails.

#include <time.h>

namespace kadro::test {

inline double process_cpu_seconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace kadro::test
