#include "jobs/job_variants.h"

namespace vxr {

namespace {
void putOptional(QVariantMap& map, const QString& key, const std::optional<double>& value) {
    if (value)
        map.insert(key, *value);
}

QVariantMap kindMap(const BudgetJobStats::Kind& kind) {
    QVariantMap map{{QStringLiteral("n"), kind.n},
                    {QStringLiteral("mean"), kind.mean},
                    {QStringLiteral("sd"), kind.sd}};
    putOptional(map, QStringLiteral("estimate"), kind.estimate);
    return map;
}
} // namespace

QVariant toVariant(const std::optional<double>& value) {
    return value ? QVariant(*value) : QVariant();
}

QVariantMap toVariantMap(const Estimate& estimate) {
    QVariantMap map;
    putOptional(map, QStringLiteral("cpu"), estimate.cpu);
    putOptional(map, QStringLiteral("gpu"), estimate.gpu);
    putOptional(map, QStringLiteral("inBytes"), estimate.inBytes);
    putOptional(map, QStringLiteral("outBytes"), estimate.outBytes);
    putOptional(map, QStringLiteral("ram"), estimate.ram);
    putOptional(map, QStringLiteral("gpuMem"), estimate.gpuMem);
    return map;
}

QVariantMap toVariantMap(const RAMBreakdown& breakdown) {
    return {{QStringLiteral("heap"), breakdown.heap},
            {QStringLiteral("arrayBuffers"), breakdown.arrayBuffers},
            {QStringLiteral("wasm"), breakdown.wasm},
            {QStringLiteral("other"), breakdown.other},
            {QStringLiteral("slices"), breakdown.slices}};
}

QVariantMap toVariantMap(const Peak& peak) {
    return {{QStringLiteral("avg"), peak.avg}, {QStringLiteral("max"), peak.max}};
}

QVariantMap toVariantMap(const BudgetJobStats& stats) {
    return {{QStringLiteral("fresh"), kindMap(stats.fresh)},
            {QStringLiteral("reused"), kindMap(stats.reused)}};
}

QVariantMap toVariantMap(const SandboxReuse& reuse) {
    QVariantMap map{{QStringLiteral("fresh"), reuse.fresh},
                    {QStringLiteral("reused"), reuse.reused},
                    {QStringLiteral("warmLost"), reuse.warmLost}};
    putOptional(map, QStringLiteral("warmStartSavingMs"), reuse.warmStartSavingMs);
    return map;
}

QVariantMap toVariantMap(const WorkerProcessMemory& process) {
    QVariantMap map{{QStringLiteral("rss"), process.rss},
                    {QStringLiteral("peakRss"), process.peakRss},
                    {QStringLiteral("heapUsed"), process.heapUsed},
                    {QStringLiteral("heapLimit"), process.heapLimit}};
    putOptional(map, QStringLiteral("limit"), process.limit);
    putOptional(map, QStringLiteral("reserve"), process.reserve);
    putOptional(map, QStringLiteral("committed"), process.committed);
    return map;
}

} // namespace vxr
