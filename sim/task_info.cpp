// The documents the service publishes about its work: task-info and the HUD figures.
#include "simulation.h"

#include <QFile>
#include <QJsonArray>

#include <algorithm>

namespace vxr::sim {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// VmRSS and VmHWM of this process, in bytes.
std::pair<double, double> ownResidentBytes() {
    QFile file(QStringLiteral("/proc/self/status"));
    double rss = 0;
    double peak = 0;
    if (!file.open(QIODevice::ReadOnly))
        return {0, 0};
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() < 2)
            continue;
        if (parts[0] == "VmRSS:")
            rss = parts[1].toDouble() * 1024;
        else if (parts[0] == "VmHWM:")
            peak = parts[1].toDouble() * 1024;
    }
    return {rss, peak};
}

QJsonObject kindObject(const PeakStats& stats, double estimate) {
    QJsonObject kind{{QStringLiteral("n"), stats.n},
                     {QStringLiteral("mean"), stats.mean},
                     {QStringLiteral("sd"), stats.sd()}};
    if (stats.n > 0)
        kind.insert(QStringLiteral("estimate"), std::max(estimate, stats.mean + 2 * stats.sd()));
    return kind;
}

} // namespace

QJsonObject Simulation::taskInfo() const {
    QJsonArray tasks;
    for (const Sandbox& s : m_sandboxes) {
        if (!s.task)
            continue;
        QJsonObject counters;
        QJsonObject current;
        for (const TaskJob& tj : s.task->jobs) {
            QJsonArray left;
            for (int n : tj.slicesLeft)
                left.append(n);
            counters.insert(tj.jobId, QJsonObject{{QStringLiteral("slicesDone"), tj.slicesDone},
                                                  {QStringLiteral("slicesLeft"), left}});
            const JobDefinition* definition = job(tj.jobId);
            QJsonObject metrics{
                {QStringLiteral("cpu"), tj.slicesDone > 0 ? tj.cpuMsSum / tj.slicesDone : 0.0},
                {QStringLiteral("gpu"),
                 m_webgpu && definition ? definition->gpuMs * m_config.timeScale : 0.0},
                {QStringLiteral("in"), tj.inBytes},
                {QStringLiteral("out"), tj.outBytes},
                {QStringLiteral("ramSlices"), tj.measured},
                {QStringLiteral("gpuMemSlices"), 0}};
            if (tj.measured > 0) {
                metrics.insert(QStringLiteral("ram"), tj.peakSum / tj.measured);
                metrics.insert(QStringLiteral("ramMax"), tj.peakMax);
            }
            // GPU work is simulated: a GPU job's buffers are taken as a third of its slice memory.
            if (m_webgpu && definition && definition->gpuMs > 0 && tj.slicesDone > 0) {
                metrics.insert(QStringLiteral("gpuMemSlices"), tj.slicesDone);
                metrics.insert(QStringLiteral("gpuMem"), definition->sliceMB * kMiB / 3);
                metrics.insert(QStringLiteral("gpuMemMax"), definition->sliceMB * kMiB / 3);
            }
            current.insert(tj.jobId, QJsonObject{{QStringLiteral("sliceCount"), tj.sliceCount},
                                                 {QStringLiteral("cgId"),
                                                  definition ? definition->cgId : QString()},
                                                 {QStringLiteral("metrics"), metrics}});
        }
        QJsonObject currentTask{{QStringLiteral("jobs"), current}};
        if (s.state == SandboxState::finished)
            currentTask.insert(QStringLiteral("finished"), true);
        tasks.append(QJsonObject{
            {QStringLiteral("jobs"), counters},
            {QStringLiteral("prototype"),
             QJsonObject{{QStringLiteral("serial"), s.task->serial},
                         {QStringLiteral("taskTime"), double(s.task->taskTime)},
                         {QStringLiteral("currentTask"), currentTask}}},
            // Not read by the application; lets tests and the curious see the sandbox.
            {QStringLiteral("sandbox"),
             QJsonObject{{QStringLiteral("index"), s.index},
                         {QStringLiteral("state"), QLatin1String(stateName(s.state))}}}});
    }

    QJsonObject jobs;
    QJsonObject budgetJobs;
    QJsonObject reuse;
    for (const QString& id : m_seenJobs) {
        const JobDefinition* definition = job(id);
        if (!definition)
            continue;
        const JobTotals totals = m_totals.value(id);
        const double estimateBytes = definition->sliceMB * kMiB;
        // The network's estimate, for slices as long as this run makes them.
        QJsonObject info{
            {QStringLiteral("name"), definition->name},
            {QStringLiteral("cgId"), definition->cgId},
            {QStringLiteral("metrics"),
             QJsonObject{{QStringLiteral("cpu"), definition->sliceSeconds * m_config.timeScale *
                                                     1000 * definition->cpuLoad *
                                                     definition->threads},
                         {QStringLiteral("gpu"), definition->gpuMs * m_config.timeScale},
                         {QStringLiteral("in"), definition->inBytes},
                         {QStringLiteral("out"), definition->outBytes},
                         {QStringLiteral("ram"), estimateBytes}}}};
        if (definition->gpuMs > 0) {
            QJsonObject estimate = info.value(QLatin1String("metrics")).toObject();
            estimate.insert(QStringLiteral("gpuMem"), estimateBytes / 3);
            info.insert(QStringLiteral("metrics"), estimate);
        }
        const int measured = totals.fresh.n + totals.reused.n;
        if (measured > 0) {
            const double mean =
                (totals.fresh.mean * totals.fresh.n + totals.reused.mean * totals.reused.n) /
                measured;
            const BreakdownShares& b = definition->breakdown;
            const double other = std::max(0.0, 1.0 - b.heap - b.arrayBuffers - b.wasm);
            info.insert(QStringLiteral("ramBreakdown"),
                        QJsonObject{{QStringLiteral("heap"), mean * b.heap},
                                    {QStringLiteral("arrayBuffers"), mean * b.arrayBuffers},
                                    {QStringLiteral("wasm"), mean * b.wasm},
                                    {QStringLiteral("other"), mean * other},
                                    {QStringLiteral("slices"), measured}});
        }
        jobs.insert(id, info);
        budgetJobs.insert(
            id, QJsonObject{
                    {QStringLiteral("fresh"), kindObject(totals.fresh, estimateBytes)},
                    {QStringLiteral("reused"), kindObject(totals.reused, estimateBytes * 0.8)}});
        QJsonObject counters{{QStringLiteral("fresh"), totals.freshSandboxes},
                             {QStringLiteral("reused"), totals.reusedSandboxes},
                             {QStringLiteral("warmLost"), totals.warmLost}};
        if (totals.reusedSandboxes > 0)
            counters.insert(QStringLiteral("warmStartSavingMs"), 350.0);
        reuse.insert(id, counters);
    }

    const auto [rss, peakRss] = ownResidentBytes();
    const double limit = m_limitBytes;
    QJsonObject workerProcess{
        {QStringLiteral("rss"), rss},
        {QStringLiteral("peakRss"), peakRss},
        // The stand-in has no script heap; a share of its resident memory stands in for it.
        {QStringLiteral("heapUsed"), std::round(rss * 0.55)},
        {QStringLiteral("heapLimit"), m_options.heapLimitBytes},
        {QStringLiteral("budget"),
         QJsonObject{{QStringLiteral("limit"), limit},
                     {QStringLiteral("reserve"), m_config.reserveMB * kMiB},
                     {QStringLiteral("committed"), committedMB() * kMiB},
                     {QStringLiteral("jobs"), budgetJobs}}},
        {QStringLiteral("sandboxReuse"), reuse}};
    return {{QStringLiteral("tasks"), tasks},
            {QStringLiteral("jobs"), jobs},
            {QStringLiteral("workerProcess"), workerProcess}};
}

std::vector<std::array<QString, 3>> Simulation::hudFigures() const {
    const QString plain;
    const QString amount = QStringLiteral("vxr-amount");
    const QString fixed = QStringLiteral("vxr-fixed-font");
    int busy = 0;
    int waiting = 0;
    int done = 0;
    for (const Sandbox& s : m_sandboxes) {
        busy += s.slice ? 1 : 0;
        waiting += s.state == SandboxState::waitingForMemory ? 1 : 0;
    }
    for (const JobTotals& t : m_totals)
        done += t.slicesDone;
    QString sandboxes = QStringLiteral("%1 busy of %2").arg(busy).arg(m_options.maxSandboxes);
    if (waiting > 0)
        sandboxes += QStringLiteral(", %1 waiting for memory").arg(waiting);
    return {
        {QStringLiteral("Earnings"), QString::number(m_earnings, 'f', 4), amount},
        {QStringLiteral("Account"), m_owner.value_or(QStringLiteral("not registered")), fixed},
        {QStringLiteral("Worker ID"), m_workerId, fixed},
        {QStringLiteral("Evaluator"),
         m_connected ? QStringLiteral("connected (pid %1)").arg(m_evaluatorPid)
                     : QStringLiteral("not connected"),
         plain},
        {QStringLiteral("Sandboxes"), sandboxes, plain},
        {QStringLiteral("Max sandboxes"), QString::number(m_options.maxSandboxes), amount},
        {QStringLiteral("Slices done"), QStringLiteral("%1 since start").arg(done), amount},
        {QStringLiteral("Global group"),
         m_options.joinGlobal ? QStringLiteral("joined") : QStringLiteral("off (--no-global)"),
         plain},
        {QStringLiteral("Memory budget"),
         QStringLiteral("%1 of %2")
             .arg(QString::number(m_options.budget * 100, 'g', 4) + QLatin1Char('%'),
                  formatBytes(m_options.totalMemoryBytes)),
         fixed},
        {QStringLiteral("Memory limit"),
         QStringLiteral("%1 (%2)").arg(formatBytes(m_limitBytes), m_limitSource), fixed},
        {QStringLiteral("Committed"), formatBytes((m_config.reserveMB + committedMB()) * kMiB),
         fixed},
    };
}

} // namespace vxr::sim
