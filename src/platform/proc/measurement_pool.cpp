#include "platform/proc/measurement_pool.h"

#include <QThreadPool>

namespace vxr {

namespace {

struct MeasurementPool : QThreadPool {
    MeasurementPool() {
        setMaxThreadCount(2);
        setObjectName(QStringLiteral("tree walk")); // names its threads
        setThreadPriority(QThread::LowPriority);
    }
};

Q_GLOBAL_STATIC(MeasurementPool, pool)

} // namespace

QThreadPool* measurementThreadPool() {
    return pool();
}

} // namespace vxr
