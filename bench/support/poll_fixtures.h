#pragma once

// Generated fixtures for the poll-path benchmarks: task-info documents as the worker
// service shapes them, and stored job-history records.

#include "jobs/job_record.h"
#include "worker_interface/task_info_parser.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace vxr::bench {

inline constexpr int jobsPerTask = 8;
inline constexpr int jobPool = 64;

inline const QDateTime base(QDate(2026, 12, 1), QTime(0, 0), Qt::UTC);

inline QString jobId(int n) {
    return QStringLiteral("job-%1-5f3a9c0d2b7e41a8").arg(n, 4, 10, QLatin1Char('0'));
}

inline QJsonObject fullMetrics(double variant) {
    return {{"cpu", 1200 + variant}, {"gpu", 30 + variant},  {"in", 40000 + variant},
            {"out", 9000 + variant}, {"ram", 3e8 + variant}, {"ramSlices", 12},
            {"ramMax", 4e8},         {"gpuMem", 1e8},        {"gpuMemSlices", 12},
            {"gpuMemMax", 2e8}};
}

// `tasks` tasks of 8 jobs each out of a pool of 64, with the per-job info map and the
// worker process's memory. `variant` changes every snapshot's metrics.
inline QJsonObject taskInfoDocument(int tasks, double variant) {
    QJsonArray taskList;
    for (int t = 0; t < tasks; ++t) {
        QJsonObject counters;
        QJsonObject entries;
        for (int j = 0; j < jobsPerTask; ++j) {
            const QString id = jobId((t + j * 8) % jobPool);
            counters.insert(
                id, QJsonObject{{"slicesDone", 3 + j}, {"slicesLeft", QJsonArray{100, 101, 102}}});
            entries.insert(id, QJsonObject{{"metrics", fullMetrics(variant)},
                                           {"sliceCount", 10},
                                           {"cgId", "cg-fallback"}});
        }
        taskList.append(QJsonObject{
            {"jobs", counters},
            {"prototype", QJsonObject{{"serial", 100000 + t},
                                      {"taskTime", 1733700000000.0 + t},
                                      {"currentTask", QJsonObject{{"jobs", entries}}}}}});
    }
    QJsonObject jobs;
    for (int n = 0; n < jobPool; ++n) {
        jobs.insert(jobId(n), QJsonObject{{"name", QStringLiteral("Job number %1").arg(n)},
                                          {"cgId", "public"},
                                          {"ramBreakdown", QJsonObject{{"heap", 1e8},
                                                                       {"arrayBuffers", 2e7},
                                                                       {"wasm", 0},
                                                                       {"other", 5e6},
                                                                       {"slices", 40}}},
                                          {"metrics", QJsonObject{{"cpu", 1500},
                                                                  {"in", 50000},
                                                                  {"out", 10000},
                                                                  {"ram", 3.5e8}}}});
    }
    return {{"tasks", taskList},
            {"jobs", jobs},
            {"workerProcess",
             QJsonObject{{"rss", 5e8}, {"peakRss", 6e8}, {"heapUsed", 1e8}, {"heapLimit", 4e9}}}};
}

// The service's answer, wrapped as a script assignment.
inline QByteArray taskInfoBody(int tasks, double variant) {
    return "window.taskInfo=" +
           QJsonDocument(taskInfoDocument(tasks, variant)).toJson(QJsonDocument::Compact) + ';';
}

// The document as the application reads it.
inline TaskInfo taskInfo(int tasks, double variant) {
    TaskInfoParser parser;
    return parser.parseBody(taskInfoBody(tasks, variant)).value();
}

// Older records, `tasksEach` snapshots each, all before `base`.
inline QList<JobRecord> storedRecords(int count, int tasksEach) {
    QList<JobRecord> records;
    for (int n = 0; n < count; ++n) {
        JobRecord r;
        r.id = QStringLiteral("stored-%1-0b1c2d3e4f").arg(n);
        r.name = QStringLiteral("Stored job %1").arg(n);
        r.computeGroup = QStringLiteral("public");
        r.firstSeen = base.addSecs(-60 * (n + 1));
        r.lastActive = base.addSecs(-30 * (n + 1));
        for (int t = 0; t < tasksEach; ++t) {
            TaskSnapshot s;
            s.slicesDone = 5 + t;
            s.cpu = 1234.5 + t;
            s.gpu = 12;
            s.inBytes = 45678;
            s.outBytes = 9876;
            s.ram = 3.25e8;
            s.ramSlices = 5 + t;
            s.ramMax = 4.5e8;
            s.gpuMem = 1.5e8;
            s.gpuMemSlices = 5;
            s.gpuMemMax = 2e8;
            r.tasks.insert(QStringLiteral("%1|%2").arg(200000 + t).arg(1733700000000 + t), s);
        }
        r.estimate = Estimate{1500, 10, 50000, 10000, 3.5e8, std::nullopt};
        r.ramBreakdown = RAMBreakdown{1e8, 2e7, 0, 5e6, 40};
        records.append(r);
    }
    return records;
}

} // namespace vxr::bench
