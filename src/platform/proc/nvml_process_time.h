#pragma once

#include <QHash>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace vxr {

// Per-process GPU time on NVIDIA's proprietary driver, which has no DRM usage keys.
// The management library is loaded at run time so the application neither links nor
// requires it.
//
// The library offers no per-process busy counter to unprivileged users, only periodic
// samples of each process's SM utilisation (percent over the driver's last sampling
// period, taken every 1/6 to 1 s). The figure here is their running integral: each
// sample adds utilisation x the time since that process's previous sample. It is an
// estimate of the ns the process kept the GPU's multiprocessors busy, summed over all
// GPUs, comparable with the DRM engine counters but only as fine as the sampling.
class NvmlProcessTime {
public:
    // nullptr when the library or one of its entry points is missing, or it fails to
    // initialise (no device, driver/library mismatch).
    [[nodiscard]] static std::unique_ptr<NvmlProcessTime> load();
    ~NvmlProcessTime();
    NvmlProcessTime(const NvmlProcessTime&) = delete;
    NvmlProcessTime& operator=(const NvmlProcessTime&) = delete;

    // Reads the samples taken since the last call and returns every process's
    // accumulated time so far.
    [[nodiscard]] QHash<qint32, quint64> busyNSByPID();

    struct Sample {
        std::uint32_t pid = 0;
        std::uint64_t timeStampUS = 0;
        std::uint32_t smUtilPercent = 0;
    };
    // The integration step, separate for tests: adds one device's new samples to the
    // totals given the device's previous newest sample time.
    static void integrate(const std::vector<Sample>& samples, std::uint64_t deviceLastSeenUS,
                          std::map<std::pair<unsigned, std::uint32_t>, std::uint64_t>& lastByPID,
                          unsigned device, QHash<qint32, quint64>& totals);

private:
    struct Api;
    explicit NvmlProcessTime(std::unique_ptr<Api> api);

    std::unique_ptr<Api> m_api;
    std::vector<std::uint64_t> m_lastSeenUS;                                 // per device
    std::map<std::pair<unsigned, std::uint32_t>, std::uint64_t> m_lastByPID; // (device, pid)
    QHash<qint32, quint64> m_totals;
};

} // namespace vxr
