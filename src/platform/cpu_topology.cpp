#include "platform/cpu_topology.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <sched.h>

namespace vxr {

namespace {

std::optional<QString> readTrimmed(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromLatin1(file.readAll()).trimmed();
}

QString cpuDir(const QString& sysRoot, int cpu) {
    return sysRoot + QStringLiteral("/devices/system/cpu/cpu%1").arg(cpu);
}

QList<int> fastestClass(const QString& sysRoot, const QList<int>& candidates) {
    if (const auto pcores = readTrimmed(sysRoot + QLatin1String("/devices/cpu_core/cpus"))) {
        const QList<int> listed = parseCpuList(*pcores);
        QList<int> fast;
        for (int cpu : candidates)
            if (listed.contains(cpu))
                fast.append(cpu);
        if (!fast.isEmpty())
            return fast;
    }
    QList<std::pair<int, long>> capacities;
    for (int cpu : candidates) {
        const auto text = readTrimmed(cpuDir(sysRoot, cpu) + QLatin1String("/cpu_capacity"));
        bool ok = false;
        const long capacity = text ? text->toLong(&ok) : 0;
        if (!ok)
            return candidates; // capacities unknown: treat every CPU alike
        capacities.append({cpu, capacity});
    }
    long best = 0;
    for (const auto& [cpu, capacity] : capacities)
        best = std::max(best, capacity);
    QList<int> fast;
    for (const auto& [cpu, capacity] : capacities)
        if (capacity == best)
            fast.append(cpu);
    return fast;
}

} // namespace

QList<int> parseCpuList(const QString& text) {
    QList<int> cpus;
    for (const QString& part : text.trimmed().split(u',', Qt::SkipEmptyParts)) {
        const QStringList range = part.split(u'-');
        bool okFirst = false;
        bool okLast = true;
        const int first = range.value(0).toInt(&okFirst);
        const int last = range.size() == 2 ? range.value(1).toInt(&okLast) : first;
        if (!okFirst || !okLast || range.size() > 2 || last < first || last - first > 65535)
            continue;
        for (int cpu = first; cpu <= last; ++cpu)
            cpus.append(cpu);
    }
    return cpus;
}

std::optional<int> fastestClassPhysicalCores(const QString& sysRoot,
                                             const QList<int>& candidateCpus) {
    QList<int> candidates;
    if (const auto online = readTrimmed(sysRoot + QLatin1String("/devices/system/cpu/online"))) {
        const QList<int> onlineCpus = parseCpuList(*online);
        for (int cpu : candidateCpus)
            if (onlineCpus.contains(cpu))
                candidates.append(cpu);
    } else {
        return std::nullopt;
    }
    if (candidates.isEmpty())
        return std::nullopt;

    QSet<QString> cores;
    for (int cpu : fastestClass(sysRoot, candidates)) {
        const QString topology = cpuDir(sysRoot, cpu) + QLatin1String("/topology/");
        auto siblings = readTrimmed(topology + QLatin1String("core_cpus_list"));
        if (!siblings)
            siblings = readTrimmed(topology + QLatin1String("thread_siblings_list"));
        if (!siblings)
            return std::nullopt;
        cores.insert(*siblings);
    }
    return int(cores.size());
}

QList<int> affinityCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    QList<int> cpus;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &set))
                cpus.append(cpu);
    }
    return cpus;
}

int activeProcessorCount() {
    return std::max<int>(1, int(affinityCpus().size()));
}

int performanceCoresFrom(std::optional<int> fastClassCores, int activeProcessors) {
    const int count =
        fastClassCores && *fastClassCores > 0 ? *fastClassCores : activeProcessors / 2;
    return std::max(1, count);
}

int performanceCores() {
    static const int cores = performanceCoresFrom(
        fastestClassPhysicalCores(QStringLiteral("/sys"), affinityCpus()), activeProcessorCount());
    return cores;
}

} // namespace vxr
