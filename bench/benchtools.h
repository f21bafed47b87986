#pragma once
// What the benchmark programs share: CPU clocks and quantiles.

#include <algorithm>
#include <ctime>
#include <vector>

namespace cg::bench {

// CPU time of the whole process (every thread), in ms.
inline double processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// CPU time of the calling thread, in ms.
inline double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// The value at quantile q (0.5 the median, 0.95 the p95) by nearest rank;
// 0 for no values.
inline double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
}

} // namespace cg::bench
