#include "burn.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace vxr::sim {

namespace {

using Clock = std::chrono::steady_clock;

void burnUntil(Clock::time_point end, double load, volatile double* sink) {
    // Work in 20 ms periods: busy for `load` of each, asleep for the rest.
    const auto period = std::chrono::milliseconds(20);
    double x = 1.0;
    while (Clock::now() < end) {
        const auto busyUntil = std::min(
            end, Clock::now() + std::chrono::duration_cast<Clock::duration>(period * load));
        while (Clock::now() < busyUntil)
            for (int i = 0; i < 2000; ++i)
                x = x * 1.0000001 + 0.0000001;
        const auto rest = std::min(
            end - Clock::now(), std::chrono::duration_cast<Clock::duration>(period * (1.0 - load)));
        if (rest.count() > 0)
            std::this_thread::sleep_for(rest);
    }
    *sink = x;
}

} // namespace

int runBurn(const BurnOrder& order) {
    const size_t bytes = size_t(std::max(0.0, order.megabytes) * 1024 * 1024);
    // Touch every page so the memory is resident, not just reserved.
    char* memory = static_cast<char*>(std::malloc(std::max<size_t>(bytes, 1)));
    if (memory && bytes > 0)
        std::memset(memory, 0x5a, bytes);
    const auto end = Clock::now() + std::chrono::milliseconds(std::max(0, order.milliseconds));
    std::vector<double> sinks(size_t(std::max(1, order.threads)));
    std::vector<std::thread> threads;
    for (size_t i = 1; i < sinks.size(); ++i)
        threads.emplace_back(burnUntil, end, order.load, &sinks[i]);
    burnUntil(end, order.load, &sinks[0]);
    for (std::thread& t : threads)
        t.join();
    volatile char keep = memory && bytes > 0 ? memory[bytes / 2] : 0;
    (void)keep;
    std::free(memory);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long long cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000LL +
                            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    std::printf("slice-result cpuMs=%lld peakBytes=%lld\n", cpuMs,
                static_cast<long long>(usage.ru_maxrss) * 1024);
    std::fflush(stdout);
    return 0;
}

} // namespace vxr::sim
