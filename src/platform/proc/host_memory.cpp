#include "platform/proc/host_memory.h"

#include "platform/proc/proc_files.h"

#include <sched.h>
#include <unistd.h>

namespace vxr {

std::optional<HostMemory> parseMeminfo(std::string_view text)
{
    const auto total = proc::keyedBytes(text, "MemTotal");
    const auto available = proc::keyedBytes(text, "MemAvailable");
    if (!total || !available)
        return std::nullopt;
    return HostMemory{*total, *available < *total ? *total - *available : 0};
}

std::optional<HostMemory> readHostMemory(const QString& procRoot)
{
    const auto text = proc::readFile(procRoot.toStdString() + "/meminfo");
    if (!text)
        return std::nullopt;
    return parseMeminfo(*text);
}

int activeProcessorCount()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count >= 1)
            return count;
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online >= 1 ? int(online) : 1;
}

} // namespace vxr
