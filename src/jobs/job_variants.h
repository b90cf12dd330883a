#pragma once

#include "jobs/job_record.h"
#include "jobs/worker_process_memory.h"

#include <QVariant>
#include <QVariantMap>

#include <optional>

// Plain QVariant forms of the job values for QML: an absent optional is an
// invalid QVariant (undefined in QML) or a missing map key, never 0.
namespace vxr {

[[nodiscard]] QVariant toVariant(const std::optional<double>& value);
[[nodiscard]] QVariantMap toVariantMap(const Estimate& estimate);
[[nodiscard]] QVariantMap toVariantMap(const RAMBreakdown& breakdown);
[[nodiscard]] QVariantMap toVariantMap(const Peak& peak);
[[nodiscard]] QVariantMap toVariantMap(const BudgetJobStats& stats);
[[nodiscard]] QVariantMap toVariantMap(const SandboxReuse& reuse);
// The scalar fields only; the per-job maps reach QML through the job list model.
[[nodiscard]] QVariantMap toVariantMap(const WorkerProcessMemory& process);

template <typename T> [[nodiscard]] QVariant toVariant(const std::optional<T>& value) {
    return value ? QVariant(toVariantMap(*value)) : QVariant();
}

} // namespace vxr
