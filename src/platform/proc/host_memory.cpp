#include "platform/proc/host_memory.h"

#include "platform/proc/proc_files.h"

namespace vxr {

std::optional<HostMemory> parseMeminfo(std::string_view text) {
    const auto total = proc::keyedBytes(text, "MemTotal");
    const auto available = proc::keyedBytes(text, "MemAvailable");
    if (!total || !available)
        return std::nullopt;
    return HostMemory{*total, *available < *total ? *total - *available : 0};
}

std::optional<HostMemory> readHostMemory(const QString& procRoot) {
    const auto text = proc::readFile(procRoot.toStdString() + "/meminfo");
    if (!text)
        return std::nullopt;
    return parseMeminfo(*text);
}

} // namespace vxr
