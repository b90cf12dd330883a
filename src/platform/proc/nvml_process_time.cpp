#include "platform/proc/nvml_process_time.h"

#include <algorithm>
#include <dlfcn.h>

namespace vxr {

namespace {

// The few declarations of the management library's C interface that are used here.
using nvmlReturn_t = int;
using nvmlDevice_t = struct nvmlDevice_st*;
constexpr nvmlReturn_t nvmlSuccess = 0;
constexpr nvmlReturn_t nvmlErrorInsufficientSize = 7;

struct nvmlProcessUtilizationSample_t {
    unsigned int pid;
    unsigned long long timeStamp; // µs
    unsigned int smUtil;
    unsigned int memUtil;
    unsigned int encUtil;
    unsigned int decUtil;
};

// A gap longer than this between two samples of one process (the process was idle
// and not sampled, or we were not asked for a while) is not charged in full.
constexpr std::uint64_t longestSpacingUS = 2'000'000;

} // namespace

struct NvmlProcessTime::Api {
    void* handle = nullptr;
    nvmlReturn_t (*init)() = nullptr;
    nvmlReturn_t (*shutdown)() = nullptr;
    nvmlReturn_t (*deviceCount)(unsigned int*) = nullptr;
    nvmlReturn_t (*deviceByIndex)(unsigned int, nvmlDevice_t*) = nullptr;
    nvmlReturn_t (*processUtilization)(nvmlDevice_t, nvmlProcessUtilizationSample_t*, unsigned int*,
                                       unsigned long long) = nullptr;
    std::vector<nvmlDevice_t> devices;

    ~Api() {
        if (shutdown)
            shutdown();
        if (handle)
            ::dlclose(handle);
    }
};

std::unique_ptr<NvmlProcessTime> NvmlProcessTime::load() {
    auto api = std::make_unique<Api>();
    api->handle = ::dlopen("libnvidia-ml.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!api->handle)
        return nullptr;
    const auto resolve = [&](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
            ::dlsym(api->handle, name));
        return function != nullptr;
    };
    decltype(api->init) init = nullptr;
    if (!resolve(init, "nvmlInit_v2") || !resolve(api->deviceCount, "nvmlDeviceGetCount_v2") ||
        !resolve(api->deviceByIndex, "nvmlDeviceGetHandleByIndex_v2") ||
        !resolve(api->processUtilization, "nvmlDeviceGetProcessUtilization"))
        return nullptr;
    decltype(api->shutdown) shutdown = nullptr;
    if (!resolve(shutdown, "nvmlShutdown") || init() != nvmlSuccess)
        return nullptr;
    api->shutdown = shutdown;
    unsigned int count = 0;
    if (api->deviceCount(&count) != nvmlSuccess || count == 0)
        return nullptr;
    for (unsigned int i = 0; i < count; ++i) {
        nvmlDevice_t device = nullptr;
        if (api->deviceByIndex(i, &device) == nvmlSuccess)
            api->devices.push_back(device);
    }
    if (api->devices.empty())
        return nullptr;
    return std::unique_ptr<NvmlProcessTime>(new NvmlProcessTime(std::move(api)));
}

NvmlProcessTime::NvmlProcessTime(std::unique_ptr<Api> api)
    : m_api(std::move(api))
    , m_lastSeenUS(m_api->devices.size(), 0) {}

NvmlProcessTime::~NvmlProcessTime() = default;

void NvmlProcessTime::integrate(
    const std::vector<Sample>& samples, std::uint64_t deviceLastSeenUS,
    std::map<std::pair<unsigned, std::uint32_t>, std::uint64_t>& lastByPID, unsigned device,
    QHash<qint32, quint64>& totals) {
    std::vector<Sample> ordered = samples;
    std::sort(ordered.begin(), ordered.end(),
              [](const Sample& a, const Sample& b) { return a.timeStampUS < b.timeStampUS; });
    for (const Sample& sample : ordered) {
        if (sample.timeStampUS <= deviceLastSeenUS || sample.pid == 0 || sample.pid > 0x7fffffff)
            continue;
        auto& last = lastByPID[{device, sample.pid}];
        // A process's first sample covers the time since the previous read of the device
        // (nothing on the very first read, whose samples reach into the past).
        const std::uint64_t from = last != 0 ? last : deviceLastSeenUS;
        if (from != 0 && sample.timeStampUS > from) {
            const std::uint64_t spacing = std::min(sample.timeStampUS - from, longestSpacingUS);
            totals[qint32(sample.pid)] +=
                spacing * 1000 * std::min<std::uint32_t>(sample.smUtilPercent, 100) / 100;
        }
        last = sample.timeStampUS;
    }
}

QHash<qint32, quint64> NvmlProcessTime::busyNSByPID() {
    for (unsigned device = 0; device < m_api->devices.size(); ++device) {
        unsigned int count = 0;
        const nvmlReturn_t sized = m_api->processUtilization(m_api->devices[device], nullptr,
                                                             &count, m_lastSeenUS[device]);
        if (sized != nvmlErrorInsufficientSize && sized != nvmlSuccess)
            continue; // NOT_FOUND: no new samples; others: not supported (MIG) or failing
        if (count == 0)
            continue;
        std::vector<nvmlProcessUtilizationSample_t> buffer(count + 8);
        count = unsigned(buffer.size());
        if (m_api->processUtilization(m_api->devices[device], buffer.data(), &count,
                                      m_lastSeenUS[device]) != nvmlSuccess)
            continue;
        std::vector<Sample> samples;
        samples.reserve(count);
        std::uint64_t newest = m_lastSeenUS[device];
        for (unsigned int i = 0; i < count && i < buffer.size(); ++i) {
            samples.push_back({buffer[i].pid, buffer[i].timeStamp, buffer[i].smUtil});
            newest = std::max<std::uint64_t>(newest, buffer[i].timeStamp);
        }
        integrate(samples, m_lastSeenUS[device], m_lastByPID, device, m_totals);
        m_lastSeenUS[device] = newest;
    }
    return m_totals;
}

} // namespace vxr
