#pragma once

#include "core/task_info.h"

#include <QList>
#include <QString>

#include <optional>

namespace vxr {

// One row of the running-sandboxes list: a job with slices in the worker's sandboxes.
struct SandboxProgress {
    QString id;      // the job id, the row's identity
    QString jobName; // the first 10 characters of id
    qint64 slicesDone = 0;
    qint64 slicesFetched = 0;
    double percent = 0; // 0 to 100

    bool operator==(const SandboxProgress&) const = default;
};

// Reduces a task-info document to one row per job, in ascending job id order (UTF-8
// byte order). Tasks whose current task is finished are skipped; a job without fetched
// slices gets no row. No document gives no rows.
[[nodiscard]] QList<SandboxProgress> sandboxRows(const TaskInfo* info);

// The row's labels: "<done>/<fetched> SLICES" and the percentage with one decimal.
[[nodiscard]] QString slicesText(qint64 slicesDone, qint64 slicesFetched);
[[nodiscard]] QString percentText(double percent);

} // namespace vxr
