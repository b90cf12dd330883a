#include "simulation.h"

#include "worker_state.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace vxr::sim {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

} // namespace

void PeakStats::add(double x) {
    ++n;
    const double delta = x - mean;
    mean += delta / n;
    m2 += delta * (x - mean);
}

double PeakStats::sd() const {
    return n > 1 ? std::sqrt(m2 / (n - 1)) : 0.0;
}

const char* stateName(SandboxState state) {
    switch (state) {
    case SandboxState::idle:
        return "idle";
    case SandboxState::fetching:
        return "fetching";
    case SandboxState::ready:
        return "ready";
    case SandboxState::waitingForMemory:
        return "waiting-for-memory";
    case SandboxState::running:
        return "running";
    case SandboxState::finished:
        return "finished";
    }
    return "idle";
}

QString formatBytes(double bytes) {
    if (bytes >= 1024.0 * kMiB)
        return QString::number(bytes / (1024.0 * kMiB), 'f', 1) + QLatin1String(" GB");
    if (bytes >= kMiB)
        return QString::number(bytes / kMiB, 'f', 1) + QLatin1String(" MB");
    return QString::number(bytes / 1024.0, 'f', 1) + QLatin1String(" KB");
}

Simulation::Simulation(SimConfig config, ServiceOptions options, LogSink log)
    : m_config(std::move(config))
    , m_options(std::move(options))
    , m_log(std::move(log))
    , m_random(QRandomGenerator::securelySeeded()) {
    m_clock.start();
    m_earnings = savedEarnings();
    m_owner = registeredOwner();
    m_workerId = workerId();
    m_sandboxes.resize(size_t(std::max(0, m_options.maxSandboxes)));
    for (size_t i = 0; i < m_sandboxes.size(); ++i)
        m_sandboxes[i].index = int(i);
    (void)memoryLimitBytes();
}

qint64 Simulation::scaledMs(double seconds) const {
    return qint64(seconds * m_config.timeScale * 1000.0);
}

const JobDefinition* Simulation::job(const QString& id) const {
    for (const JobDefinition& definition : m_config.jobs)
        if (definition.id == id)
            return &definition;
    return nullptr;
}

bool Simulation::evaluatorConnected() const {
    return m_connected;
}

double Simulation::memoryLimitBytes() {
    // The governor rewrites the file every 2 s; a few reads a second follow it closely enough.
    if (m_limitReadAt >= 0 && now() - m_limitReadAt < 200)
        return m_limitBytes;
    m_limitReadAt = now();
    double limit = m_options.budget * m_options.totalMemoryBytes;
    QString source = QStringLiteral("budget");
    QFile file(m_options.limitFile);
    if (!m_options.limitFile.isEmpty() && file.open(QIODevice::ReadOnly)) {
        const QJsonValue value =
            QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("limit"));
        if (value.isDouble() && value.toDouble() >= 0) {
            limit = value.toDouble();
            source = QStringLiteral("limit file");
        }
    }
    if (limit != m_limitBytes || source != m_limitSource)
        log(QStringLiteral("memory limit now %1 (from %2)").arg(formatBytes(limit), source));
    m_limitBytes = limit;
    m_limitSource = source;
    return limit;
}

double Simulation::committedMB() const {
    double mb = 0;
    for (const Sandbox& s : m_sandboxes)
        if (s.slice)
            mb += s.slice->mb;
    return mb;
}

int Simulation::runningSlices() const {
    return int(std::count_if(m_sandboxes.begin(), m_sandboxes.end(),
                             [](const Sandbox& s) { return s.slice.has_value(); }));
}

void Simulation::log(const QString& line) const {
    if (m_log)
        m_log(line);
}

void Simulation::setState(Sandbox& sandbox, SandboxState state) {
    sandbox.state = state;
    sandbox.since = now();
}

void Simulation::advance() {
    const bool connected =
        m_lastEvaluatorPoll >= 0 &&
        now() - m_lastEvaluatorPoll < qint64(m_config.evaluatorTimeoutSeconds * 1000);
    if (m_connected && !connected) {
        log(QStringLiteral("evaluator disconnected; running slices go back to their queues"));
        for (Sandbox& s : m_sandboxes)
            if (s.slice)
                requeueSlice(s, QStringLiteral("evaluator gone"));
    }
    m_connected = connected;

    // Sandboxes that wait for memory go first, longest waiting first, so a
    // sandbox that just finished a slice cannot starve them.
    std::vector<Sandbox*> order;
    for (Sandbox& s : m_sandboxes)
        order.push_back(&s);
    std::stable_sort(order.begin(), order.end(), [](const Sandbox* a, const Sandbox* b) {
        const bool aWaits = a->state == SandboxState::waitingForMemory;
        const bool bWaits = b->state == SandboxState::waitingForMemory;
        return aWaits != bWaits ? aWaits : aWaits && a->since < b->since;
    });
    for (Sandbox* sandbox : order) {
        Sandbox& s = *sandbox;
        switch (s.state) {
        case SandboxState::idle:
            if (m_connected) {
                setState(s, SandboxState::fetching);
                log(QStringLiteral("sandbox %1: fetching a task").arg(s.index));
            }
            break;
        case SandboxState::fetching:
            if (now() - s.since >= scaledMs(m_config.fetchSeconds))
                fetchTask(s);
            break;
        case SandboxState::ready:
        case SandboxState::waitingForMemory:
            if (m_connected)
                startNextSlice(s);
            break;
        case SandboxState::running:
            break;
        case SandboxState::finished:
            if (now() - s.since >= scaledMs(m_config.finishedSeconds)) {
                s.warmJobs.clear();
                for (const TaskJob& j : s.task->jobs)
                    s.warmJobs.insert(j.jobId);
                s.task.reset();
                setState(s, SandboxState::idle);
            }
            break;
        }
    }
}

void Simulation::fetchTask(Sandbox& sandbox) {
    std::vector<const JobDefinition*> eligible;
    for (const JobDefinition& definition : m_config.jobs)
        if (definition.global ? m_options.joinGlobal : true)
            eligible.push_back(&definition);
    if (eligible.empty()) {
        if (!sandbox.noWorkReported)
            log(QStringLiteral("sandbox %1: no work available for this worker's compute groups")
                    .arg(sandbox.index));
        sandbox.noWorkReported = true;
        sandbox.since = now();
        return;
    }
    std::shuffle(eligible.begin(), eligible.end(), m_random);
    const int count =
        std::min<int>(int(eligible.size()), 1 + int(m_random.bounded(m_config.maxJobsPerTask)));
    Task task;
    task.serial = m_nextSerial++;
    task.taskTime = QDateTime::currentMSecsSinceEpoch();
    QStringList names;
    for (int i = 0; i < count; ++i) {
        const JobDefinition& definition = *eligible[size_t(i)];
        TaskJob tj;
        tj.jobId = definition.id;
        tj.sliceCount =
            m_config.minSlicesPerTask +
            int(m_random.bounded(m_config.maxSlicesPerTask - m_config.minSlicesPerTask + 1));
        for (int n = 1; n <= tj.sliceCount; ++n)
            tj.slicesLeft.push_back(n);
        // Inputs and outputs differ a little from task to task.
        tj.inBytes = std::round(definition.inBytes * (0.9 + 0.2 * m_random.generateDouble()));
        tj.outBytes = std::round(definition.outBytes * (0.9 + 0.2 * m_random.generateDouble()));
        tj.warm = sandbox.warmJobs.contains(definition.id);
        JobTotals& totals = m_totals[definition.id];
        (tj.warm ? totals.reusedSandboxes : totals.freshSandboxes) += 1;
        if (!m_seenJobs.contains(definition.id))
            m_seenJobs.append(definition.id);
        names.append(QStringLiteral("%1 × %2").arg(definition.name).arg(tj.sliceCount));
        task.jobs.push_back(std::move(tj));
    }
    for (const QString& warm : std::as_const(sandbox.warmJobs)) {
        const bool kept = std::any_of(task.jobs.begin(), task.jobs.end(),
                                      [&](const TaskJob& j) { return j.jobId == warm; });
        if (!kept)
            m_totals[warm].warmLost += 1;
    }
    sandbox.task = std::move(task);
    setState(sandbox, SandboxState::ready);
    log(QStringLiteral("sandbox %1: task %2 fetched: %3")
            .arg(sandbox.index)
            .arg(sandbox.task->serial)
            .arg(names.join(QLatin1String(", "))));
}

void Simulation::startNextSlice(Sandbox& sandbox) {
    Task& task = *sandbox.task;
    auto next = std::find_if(task.jobs.begin(), task.jobs.end(),
                             [](const TaskJob& j) { return !j.slicesLeft.empty(); });
    if (next == task.jobs.end()) {
        setState(sandbox, SandboxState::finished);
        log(QStringLiteral("sandbox %1: task %2 finished").arg(sandbox.index).arg(task.serial));
        return;
    }
    const JobDefinition* definition = job(next->jobId);
    const double need = definition ? definition->sliceMB : 0;
    const double limit = memoryLimitBytes();
    const double wanted = (m_config.reserveMB + committedMB() + need) * kMiB;
    const bool alone = runningSlices() == 0;
    if (wanted > limit && !alone) {
        if (sandbox.state != SandboxState::waitingForMemory) {
            setState(sandbox, SandboxState::waitingForMemory);
            log(QStringLiteral("sandbox %1: next slice (%2) waits: it would not fit in the "
                               "memory limit of %3 (%4 committed)")
                    .arg(sandbox.index)
                    .arg(formatBytes(need * kMiB), formatBytes(limit),
                         formatBytes((m_config.reserveMB + committedMB()) * kMiB)));
        }
        return;
    }
    if (wanted > limit)
        log(QStringLiteral("sandbox %1: memory limit %2 is below what a slice needs; running "
                           "one slice anyway")
                .arg(sandbox.index)
                .arg(formatBytes(limit)));
    RunningSlice slice;
    slice.jobIndex = int(next - task.jobs.begin());
    slice.sliceNumber = next->slicesLeft.front();
    slice.id =
        QStringLiteral("%1-%2-%3").arg(task.serial).arg(slice.jobIndex).arg(slice.sliceNumber);
    slice.mb = need;
    sandbox.slice = slice;
    setState(sandbox, SandboxState::running);
    log(QStringLiteral("sandbox %1: slice %2/%3 of %4 started")
            .arg(sandbox.index)
            .arg(slice.sliceNumber)
            .arg(next->sliceCount)
            .arg(definition ? definition->name : next->jobId));
}

void Simulation::requeueSlice(Sandbox& sandbox, const QString& why) {
    if (!sandbox.slice)
        return;
    log(QStringLiteral("sandbox %1: slice %2 abandoned (%3)")
            .arg(sandbox.index)
            .arg(sandbox.slice->id, why));
    sandbox.slice.reset();
    setState(sandbox, SandboxState::ready);
}

void Simulation::finishSlice(Sandbox& sandbox, const QJsonObject& report) {
    const RunningSlice slice = *sandbox.slice;
    TaskJob& tj = sandbox.task->jobs[size_t(slice.jobIndex)];
    const JobDefinition* definition = job(tj.jobId);
    const double cpuMs = std::max(0.0, report.value(QLatin1String("cpuMs")).toDouble());
    const double peak = std::max(0.0, report.value(QLatin1String("peakBytes")).toDouble());
    std::erase(tj.slicesLeft, slice.sliceNumber);
    tj.slicesDone += 1;
    tj.cpuMsSum += cpuMs;
    if (peak > 0) {
        tj.peakSum += peak;
        tj.peakMax = std::max(tj.peakMax, peak);
        tj.measured += 1;
    }
    JobTotals& totals = m_totals[tj.jobId];
    totals.slicesDone += 1;
    // The first slice in a sandbox that did not have the job loaded pays the cold start.
    const bool fresh = !tj.warm && tj.slicesDone == 1;
    if (peak > 0)
        (fresh ? totals.fresh : totals.reused).add(peak);
    m_earnings += definition ? definition->credit : 0;
    saveEarnings(m_earnings);
    sandbox.slice.reset();
    setState(sandbox, SandboxState::ready);
    log(QStringLiteral("sandbox %1: slice %2/%3 of %4 done (cpu %5 ms, peak %6)")
            .arg(sandbox.index)
            .arg(slice.sliceNumber)
            .arg(tj.sliceCount)
            .arg(definition ? definition->name : tj.jobId)
            .arg(qint64(cpuMs))
            .arg(formatBytes(peak)));
}

QJsonObject Simulation::evaluatorPoll(const QJsonObject& request) {
    m_lastEvaluatorPoll = now();
    m_webgpu = request.value(QLatin1String("webgpu")).toBool();
    m_singleThreaded = request.value(QLatin1String("singleThreaded")).toBool(true);
    const qint64 pid = request.value(QLatin1String("pid")).toInteger();
    if (!m_connected || pid != m_evaluatorPid)
        log(QStringLiteral("evaluator connected (pid %1%2)")
                .arg(pid)
                .arg(m_webgpu ? QStringLiteral(", WebGPU") : QString()));
    m_connected = true;
    m_evaluatorPid = pid;

    QHash<QString, QJsonObject> done;
    for (const QJsonValue& v : request.value(QLatin1String("done")).toArray())
        done.insert(v.toObject().value(QLatin1String("slice")).toString(), v.toObject());
    QSet<QString> running;
    for (const QJsonValue& v : request.value(QLatin1String("running")).toArray())
        running.insert(v.toString());

    QSet<QString> known;
    for (Sandbox& s : m_sandboxes) {
        if (!s.slice || !s.slice->sent)
            continue;
        const QString id = s.slice->id;
        if (done.contains(id)) {
            if (done.value(id).value(QLatin1String("ok")).toBool())
                finishSlice(s, done.value(id));
            else
                requeueSlice(s, QStringLiteral("evaluator reported a failure"));
        } else if (!running.contains(id)) {
            requeueSlice(s, QStringLiteral("evaluator lost it"));
        } else {
            known.insert(id);
        }
    }
    advance();

    QJsonArray start;
    for (Sandbox& s : m_sandboxes) {
        if (!s.slice || s.slice->sent)
            continue;
        const JobDefinition* definition = job(s.task->jobs[size_t(s.slice->jobIndex)].jobId);
        const double jitter = 0.85 + 0.3 * m_random.generateDouble();
        start.append(QJsonObject{
            {QStringLiteral("slice"), s.slice->id},
            {QStringLiteral("sandbox"), s.index},
            {QStringLiteral("ms"),
             double(scaledMs((definition ? definition->sliceSeconds : 1) * jitter))},
            {QStringLiteral("mb"), s.slice->mb},
            {QStringLiteral("threads"), m_singleThreaded || !definition ? 1 : definition->threads},
            {QStringLiteral("load"), definition ? definition->cpuLoad : 0.5}});
        s.slice->sent = true;
        known.insert(s.slice->id);
    }
    QJsonArray stop;
    for (const QString& id : std::as_const(running))
        if (!known.contains(id))
            stop.append(id);
    return {{QStringLiteral("start"), start}, {QStringLiteral("stop"), stop}};
}

QJsonObject Simulation::runInfo() const {
    QJsonObject info{{QStringLiteral("totalEarnings"), m_earnings},
                     {QStringLiteral("workerId"), m_workerId},
                     {QStringLiteral("maxSandboxes"), m_options.maxSandboxes}};
    if (m_owner)
        info.insert(QStringLiteral("earningsAccount"), *m_owner);
    return info;
}

void Simulation::writeStatsFile() const {
    if (m_options.statsFile.isEmpty())
        return;
    QJsonObject jobs;
    for (auto it = m_totals.begin(); it != m_totals.end(); ++it)
        jobs.insert(it.key(), QJsonObject{{QStringLiteral("slices"), it->slicesDone},
                                          {QStringLiteral("freshPeakMean"), it->fresh.mean},
                                          {QStringLiteral("reusedPeakMean"), it->reused.mean}});
    QSaveFile file(m_options.statsFile);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(
        QJsonDocument(QJsonObject{{QStringLiteral("time"), QDateTime::currentMSecsSinceEpoch()},
                                  {QStringLiteral("jobs"), jobs}})
            .toJson(QJsonDocument::Compact));
    (void)file.commit();
}

} // namespace vxr::sim
