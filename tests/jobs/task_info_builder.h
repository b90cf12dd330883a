#pragma once

// Builds task-info documents the way the worker service shapes them.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

namespace vxr::testing {

// One job's part in a task: its counter under the task's "jobs", its entry
// (metrics, optional cgId) under "prototype"."currentTask"."jobs".
struct Share {
    QString jobId;
    QJsonValue slicesDone;
    QJsonObject metrics;
    QString cgId = {};
};

inline QJsonObject makeTask(const QJsonValue& serial, const QJsonValue& taskTime,
                            const QList<Share>& shares) {
    QJsonObject counters;
    QJsonObject entries;
    for (const Share& share : shares) {
        counters.insert(share.jobId, QJsonObject{{QStringLiteral("slicesDone"), share.slicesDone},
                                                 {QStringLiteral("slicesLeft"), QJsonArray{}}});
        QJsonObject entry{{QStringLiteral("metrics"), share.metrics},
                          {QStringLiteral("sliceCount"), 10}};
        if (!share.cgId.isNull())
            entry.insert(QStringLiteral("cgId"), share.cgId);
        entries.insert(share.jobId, entry);
    }
    QJsonObject prototype{
        {QStringLiteral("currentTask"), QJsonObject{{QStringLiteral("jobs"), entries}}}};
    if (!serial.isUndefined())
        prototype.insert(QStringLiteral("serial"), serial);
    if (!taskTime.isUndefined())
        prototype.insert(QStringLiteral("taskTime"), taskTime);
    return {{QStringLiteral("jobs"), counters}, {QStringLiteral("prototype"), prototype}};
}

inline QJsonObject makeDocument(const QJsonArray& tasks, const QJsonObject& jobs = {}) {
    return {{QStringLiteral("tasks"), tasks}, {QStringLiteral("jobs"), jobs}};
}

inline QJsonObject cpuMetrics(double cpu) {
    return {
        {QStringLiteral("cpu"), cpu}, {QStringLiteral("in"), 1000}, {QStringLiteral("out"), 500}};
}

} // namespace vxr::testing
