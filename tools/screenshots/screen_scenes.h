#pragma once

// Realistic data for the settings, metrics and jobs screenshots: task-info documents
// shaped like the stand-in worker's, and 15 minutes of samples.

#include "support/controller_access.h"

#include "jobs/job_history.h"
#include "metrics/metrics_sampler.h"
#include "worker_interface/task_info_parser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <cmath>

namespace screen_scenes {

inline QJsonObject task(const QString& serial, const QString& jobId, double slicesDone,
                        const QJsonObject& metrics) {
    return {{QStringLiteral("jobs"),
             QJsonObject{{jobId, QJsonObject{{QStringLiteral("slicesDone"), slicesDone},
                                             {QStringLiteral("slicesLeft"), QJsonArray{}}}}}},
            {QStringLiteral("prototype"),
             QJsonObject{
                 {QStringLiteral("serial"), serial},
                 {QStringLiteral("taskTime"), 1765270000},
                 {QStringLiteral("currentTask"),
                  QJsonObject{
                      {QStringLiteral("jobs"),
                       QJsonObject{{jobId, QJsonObject{{QStringLiteral("metrics"), metrics},
                                                       {QStringLiteral("sliceCount"), 40}}}}}}}}}};
}

// Two jobs, one with GPU work and a memory breakdown with a spike, and the worker
// process's budget and sandbox reuse figures.
inline vxr::TaskInfo taskInfoDocument(double progress) {
    const QString render = QStringLiteral("7f3a9c01d2e4b8a1");
    const QString hash = QStringLiteral("c4e81b77aa90f3d2");
    const QJsonObject renderMetrics{
        {QStringLiteral("cpu"), 6840},          {QStringLiteral("gpu"), 2120},
        {QStringLiteral("in"), 2'450'000},      {QStringLiteral("out"), 812'000},
        {QStringLiteral("ram"), 61'500'000},    {QStringLiteral("ramSlices"), 118 * progress},
        {QStringLiteral("ramMax"), 88'200'000}, {QStringLiteral("gpuMem"), 310'000'000},
        {QStringLiteral("gpuMemSlices"), 40},   {QStringLiteral("gpuMemMax"), 402'000'000}};
    const QJsonObject hashMetrics{
        {QStringLiteral("cpu"), 14250},    {QStringLiteral("in"), 930},
        {QStringLiteral("out"), 64},       {QStringLiteral("ram"), 24'100'000},
        {QStringLiteral("ramSlices"), 12}, {QStringLiteral("ramMax"), 31'000'000}};
    const QJsonObject jobs{
        {render, QJsonObject{{QStringLiteral("name"), QStringLiteral("Render frames 1200–1400")},
                             {QStringLiteral("cgId"), QStringLiteral("public")},
                             {QStringLiteral("metrics"),
                              QJsonObject{{QStringLiteral("cpu"), 7200},
                                          {QStringLiteral("gpu"), 1800},
                                          {QStringLiteral("in"), 2'500'000},
                                          {QStringLiteral("out"), 800'000},
                                          {QStringLiteral("ram"), 96'000'000},
                                          {QStringLiteral("gpuMem"), 512'000'000}}},
                             {QStringLiteral("ramBreakdown"),
                              QJsonObject{{QStringLiteral("heap"), 38'400'000},
                                          {QStringLiteral("arrayBuffers"), 12'100'000},
                                          {QStringLiteral("wasm"), 4'200'000},
                                          {QStringLiteral("other"), 2'900'000},
                                          {QStringLiteral("slices"), 118}}}}},
        {hash, QJsonObject{{QStringLiteral("metrics"), QJsonObject{{QStringLiteral("cpu"), 15000},
                                                                   {QStringLiteral("in"), 1000},
                                                                   {QStringLiteral("out"), 100}}}}},
    };
    const auto kind = [](double n, double mean, double sd, double estimate) {
        return QJsonObject{{QStringLiteral("n"), n},
                           {QStringLiteral("mean"), mean},
                           {QStringLiteral("sd"), sd},
                           {QStringLiteral("estimate"), estimate}};
    };
    const QJsonObject renderBudget{{QStringLiteral("fresh"), kind(14, 70e6, 8.3e6, 96e6)},
                                   {QStringLiteral("reused"), kind(104, 58e6, 5.1e6, 74e6)}};
    const QJsonObject budget{{QStringLiteral("limit"), 6.87e9},
                             {QStringLiteral("reserve"), 420e6},
                             {QStringLiteral("committed"), 192e6},
                             {QStringLiteral("jobs"), QJsonObject{{render, renderBudget}}}};
    const QJsonObject renderReuse{{QStringLiteral("fresh"), 14},
                                  {QStringLiteral("reused"), 104},
                                  {QStringLiteral("warmLost"), 2},
                                  {QStringLiteral("warmStartSavingMs"), 1460}};
    const QJsonObject workerProcess{
        {QStringLiteral("rss"), 950e6},
        {QStringLiteral("peakRss"), 1.48e9},
        {QStringLiteral("heapUsed"), 212e6},
        {QStringLiteral("heapLimit"), 4.345e9},
        {QStringLiteral("budget"), budget},
        {QStringLiteral("sandboxReuse"), QJsonObject{{render, renderReuse}}}};
    const QJsonObject root{
        {QStringLiteral("tasks"),
         QJsonArray{task(QStringLiteral("41"), render, std::round(118 * progress), renderMetrics),
                    task(QStringLiteral("42"), hash, 12, hashMetrics)}},
        {QStringLiteral("jobs"), jobs},
        {QStringLiteral("workerProcess"), workerProcess}};
    vxr::TaskInfoParser parser;
    return parser.parseJson(QJsonDocument(root).toJson(QJsonDocument::Compact)).value();
}

// 450 two-second samples: a busy worker whose load changes with the slices.
inline void fillSampler(vxr::MetricsSampler& sampler) {
    QRandomGenerator random(7);
    vxr::MetricHistory cpu, gpu, ram;
    for (int i = 0; i < 450; ++i) {
        const double t = i / 450.0;
        const double busy = i < 60 ? i / 60.0 : 1.0;
        cpu.add(std::clamp(busy * (58 + 22 * std::sin(t * 19) + random.bounded(12.0)), 0.0, 100.0));
        gpu.add(i % 90 < 35 && i > 60 ? 18 + random.bounded(14.0) : random.bounded(2.0));
        ram.add(0.35 + busy * (1.1 + 0.35 * std::sin(t * 11) + random.bounded(0.12)));
    }
    vxr::test::ControllerAccess::setHistories(sampler, cpu, gpu, ram, 288'400'000.0, 41'750'000.0);
}

} // namespace screen_scenes
