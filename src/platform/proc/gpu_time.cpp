#include "platform/proc/gpu_time.h"

#include "platform/proc/nvml_process_time.h"
#include "platform/proc/proc_files.h"

#include <QList>

#include <algorithm>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vxr {

namespace {

constexpr unsigned drmMajor = 226;

std::string_view trimmed(std::string_view text) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos)
        return {};
    const size_t end = text.find_last_not_of(" \t\r");
    return text.substr(start, end - start + 1);
}

// "123 ns" or "123": the number, and the unit must be ns when one is given.
std::optional<std::uint64_t> nanoseconds(std::string_view value) {
    const auto number = proc::leadingNumber(value);
    if (!number)
        return std::nullopt;
    const size_t unit = value.find_first_not_of("0123456789");
    if (unit != std::string_view::npos && trimmed(value.substr(unit)) != "ns")
        return std::nullopt;
    return number;
}

std::optional<std::uint64_t> plainNumber(std::string_view value) {
    if (value.empty() || value.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    return proc::leadingNumber(value);
}

} // namespace

std::optional<DrmClientUsage> parseDrmFdinfo(std::string_view text) {
    DrmClientUsage usage;
    bool haveClient = false;
    std::map<std::string, std::uint64_t> busyCycles;
    std::map<std::string, std::uint64_t> totalCycles;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, colon);
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (key == "drm-driver") {
            usage.driver = std::string(value);
        } else if (key == "drm-pdev") {
            usage.pdev = std::string(value);
        } else if (key == "drm-client-id") {
            if (const auto id = plainNumber(value)) {
                usage.clientId = *id;
                haveClient = true;
            }
        } else if (key.starts_with("drm-engine-capacity-")) {
            continue;
        } else if (key.starts_with("drm-engine-")) {
            const std::string engine(key.substr(11));
            if (const auto ns = nanoseconds(value); ns && !engine.empty())
                usage.engineNS[engine] = *ns;
        } else if (key.starts_with("drm-total-cycles-")) {
            if (const auto n = plainNumber(value))
                totalCycles[std::string(key.substr(17))] = *n;
        } else if (key.starts_with("drm-cycles-")) {
            if (const auto n = plainNumber(value))
                busyCycles[std::string(key.substr(11))] = *n;
        }
    }
    if (usage.driver.empty() || !haveClient)
        return std::nullopt;
    for (const auto& [engine, busy] : busyCycles) {
        const auto total = totalCycles.find(engine);
        if (total != totalCycles.end())
            usage.engineCycles[engine] = {busy, total->second};
    }
    return usage;
}

GpuTimeProbe::GpuTimeProbe(const QString& procRoot, const QString& sysRoot)
    : m_procRoot(procRoot.toStdString())
    , m_sysRoot(sysRoot.toStdString()) {}

GpuTimeProbe::~GpuTimeProbe() = default;

std::vector<GpuTimeProbe::ClientSighting>
GpuTimeProbe::readDrmClients(const QSet<qint32>& among) const {
    // Without a DRM device nobody holds a DRM file; skip looking at every process's fds.
    bool haveDevice = false;
    if (DIR* drm = ::opendir((m_sysRoot + "/class/drm").c_str())) {
        while (const dirent* entry = ::readdir(drm)) {
            const std::string_view name = entry->d_name;
            if (name.starts_with("card") || name.starts_with("renderD")) {
                haveDevice = true;
                break;
            }
        }
        ::closedir(drm);
    }
    if (!haveDevice)
        return {};
    QList<qint32> pids(among.begin(), among.end());
    std::sort(pids.begin(), pids.end());
    std::vector<ClientSighting> sightings;
    for (const qint32 pid : pids) {
        const std::string base = m_procRoot + '/' + std::to_string(pid);
        const std::string fdDir = base + "/fd/";
        proc::forEachNumberedEntry(base + "/fd", [&](qint64 fd, std::uint64_t) {
            struct stat target {};
            if (::stat((fdDir + std::to_string(fd)).c_str(), &target) != 0 ||
                !S_ISCHR(target.st_mode) || ::major(target.st_rdev) != drmMajor)
                return;
            const auto text = proc::readFile(base + "/fdinfo/" + std::to_string(fd));
            if (!text)
                return;
            if (auto usage = parseDrmFdinfo(*text)) {
                std::string device = "226:" + std::to_string(::minor(target.st_rdev));
                sightings.push_back({pid, std::move(device), *std::move(usage)});
            }
        });
    }
    return sightings;
}

QHash<qint32, quint64> GpuTimeProbe::accountDrmClients(const std::vector<ClientSighting>& sightings,
                                                       Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    QHash<qint32, quint64> totals;
    std::set<std::string> clientsSeen;
    std::map<std::string, std::uint64_t> engineMax;
    std::map<std::string, CycleState> cycles;
    for (const ClientSighting& sighting : sightings) {
        const DrmClientUsage& usage = sighting.usage;
        const std::string client = (usage.pdev.empty() ? sighting.device : usage.pdev) + '|' +
                                   std::to_string(usage.clientId);
        if (!clientsSeen.insert(client).second)
            continue; // the same file reached through another fd or process
        std::uint64_t busy = 0;
        for (const auto& [engine, ns] : usage.engineNS) {
            const std::string key = client + '|' + engine;
            const auto previous = m_engineMax.find(key);
            const std::uint64_t kept =
                previous == m_engineMax.end() ? ns : std::max(previous->second, ns);
            engineMax[key] = kept;
            busy += kept;
        }
        for (const auto& [engine, count] : usage.engineCycles) {
            // Cycle counters say how busy the engine was against the GPU timestamp;
            // that share of the wall time since the last look is busy time.
            const std::string key = client + '|' + engine;
            CycleState state{count, now, 0};
            if (const auto previous = m_cycles.find(key); previous != m_cycles.end()) {
                state.busyNS = previous->second.busyNS;
                const auto& last = previous->second.last;
                if (count.total > last.total && count.busy >= last.busy) {
                    const double share = std::min(1.0, double(count.busy - last.busy) /
                                                           double(count.total - last.total));
                    const auto wall = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          now - previous->second.time)
                                          .count();
                    if (wall > 0)
                        state.busyNS += static_cast<std::uint64_t>(share * double(wall));
                }
            }
            cycles[key] = state;
            busy += state.busyNS;
        }
        totals[sighting.pid] += busy;
    }
    // Clients that closed are forgotten, so a reused client id starts afresh.
    m_engineMax = std::move(engineMax);
    m_cycles = std::move(cycles);
    return totals;
}

QHash<qint32, quint64> GpuTimeProbe::gpuTimeNSByPID(const QSet<qint32>& among) {
    if (among.isEmpty())
        return {};
    QHash<qint32, quint64> totals = accountDrmClients(readDrmClients(among), Clock::now());
    std::lock_guard lock(m_mutex);

    if (!m_nvmlTried) {
        m_nvmlTried = true;
        // Only load the library where NVIDIA's kernel module runs; elsewhere (and in
        // tests with a fixture /sys) the DRM figures are all there is.
        if (::access((m_sysRoot + "/module/nvidia").c_str(), F_OK) == 0)
            m_nvml = NvmlProcessTime::load();
    }
    if (m_nvml) {
        const QHash<qint32, quint64> nvidia = m_nvml->busyNSByPID();
        for (auto it = nvidia.constBegin(); it != nvidia.constEnd(); ++it) {
            if (among.contains(it.key()))
                totals[it.key()] += it.value();
        }
    }
    return totals;
}

} // namespace vxr
