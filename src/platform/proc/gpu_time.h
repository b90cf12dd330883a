#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vxr {

class NvmlProcessTime;

// The usage lines of one DRM file's fdinfo.
struct DrmClientUsage {
    std::string driver;
    std::string pdev; // PCI slot; empty when the driver does not say
    std::uint64_t clientId = 0;
    std::map<std::string, std::uint64_t> engineNS; // drm-engine-<engine>, busy ns
    struct Cycles {
        std::uint64_t busy = 0;  // drm-cycles-<engine>
        std::uint64_t total = 0; // drm-total-cycles-<engine>, the GPU timestamp
        bool operator==(const Cycles&) const = default;
    };
    std::map<std::string, Cycles> engineCycles; // drivers that count cycles (xe)

    bool operator==(const DrmClientUsage&) const = default;
};

// nullopt unless the text names a driver and a client id; lines that do not parse are
// skipped.
[[nodiscard]] std::optional<DrmClientUsage> parseDrmFdinfo(std::string_view text);

// Accumulated GPU busy time per process, in ns, from the DRM usage statistics in
// fdinfo and, when NVIDIA's management library is installed, from its per-process
// utilisation samples. Keeps state between calls (counter maxima, cycle baselines), so
// one instance serves one sampler; calls are serialised internally.
class GpuTimeProbe {
public:
    using Clock = std::chrono::steady_clock;

    explicit GpuTimeProbe(const QString& procRoot = QStringLiteral("/proc"),
                          const QString& sysRoot = QStringLiteral("/sys"));
    ~GpuTimeProbe();
    GpuTimeProbe(const GpuTimeProbe&) = delete;
    GpuTimeProbe& operator=(const GpuTimeProbe&) = delete;

    // Processes of the set that have used a GPU, with their accumulated busy time.
    [[nodiscard]] QHash<qint32, quint64> gpuTimeNSByPID(const QSet<qint32>& among);

    // One DRM client seen through one fd of a process. device identifies the device
    // when the fdinfo has no drm-pdev (the fd's character device number).
    struct ClientSighting {
        qint32 pid = 0;
        std::string device;
        DrmClientUsage usage;
    };
    // The DRM half of gpuTimeNSByPID on already-read fdinfo: each (device, client id)
    // counts once, for the first process that shows it; each engine counter keeps the
    // largest value seen; cycle counters become ns of busy time.
    [[nodiscard]] QHash<qint32, quint64>
    accountDrmClients(const std::vector<ClientSighting>& sightings, Clock::time_point now);

private:
    std::vector<ClientSighting> readDrmClients(const QSet<qint32>& among) const;

    struct CycleState {
        DrmClientUsage::Cycles last;
        Clock::time_point time;
        std::uint64_t busyNS = 0;
    };

    std::string m_procRoot;
    std::string m_sysRoot;
    std::mutex m_mutex;
    std::map<std::string, std::uint64_t> m_engineMax;
    std::map<std::string, CycleState> m_cycles;
    std::unique_ptr<NvmlProcessTime> m_nvml;
    bool m_nvmlTried = false;
};

} // namespace vxr
