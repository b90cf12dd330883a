#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace vxr {

// Parses the kernel's cpulist format ("0-3,8,10-11").
[[nodiscard]] QList<int> parseCpuList(const QString& text);

// Physical cores of the fastest CPU class among the candidate CPUs, read from a sysfs
// tree rooted at sysRoot ("/sys"): Intel hybrid P-cores (devices/cpu_core/cpus), else
// the CPUs with the highest cpu_capacity when capacities differ, else all candidates;
// cores counted by distinct topology/core_cpus_list. nullopt when sysfs cannot tell.
[[nodiscard]] std::optional<int> fastestClassPhysicalCores(const QString& sysRoot,
                                                           const QList<int>& candidateCpus);

// CPUs this process may run on, at least 1.
[[nodiscard]] int activeProcessorCount();
// CPU ids this process may run on.
[[nodiscard]] QList<int> affinityCpus();

// The default sandbox count: the fast-class physical cores, else half the active
// processors, never below 1.
[[nodiscard]] int performanceCoresFrom(std::optional<int> fastClassCores, int activeProcessors);

// performanceCoresFrom() for this machine, computed once per process.
[[nodiscard]] int performanceCores();

} // namespace vxr
