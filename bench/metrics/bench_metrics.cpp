// Cost of the worker-tree snapshot against the number of unrelated processes, and the
// CPU cost of one metrics sampler tick plus one memory governor tick.
//
// Spawns a 50-process tree (sh -> 7 sh -> 6 sleep each) and up to 3000 unrelated
// sleepers; every process it starts is ended by pid at the end.

#include "memory/memory_governor.h"
#include "metrics/metrics_sampler.h"
#include "metrics/task_info_server.h"
#include "platform/proc/process_tree.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace vxr;

Q_DECLARE_METATYPE(vxr::TreeWalk)

namespace {

pid_t spawn(std::initializer_list<const char*> args)
{
    std::vector<char*> argv;
    for (const char* arg : args)
        argv.push_back(const_cast<char*>(arg));
    argv.push_back(nullptr);
    pid_t pid = 0;
    return ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

double threadCPUSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QByteArray taskInfoBody()
{
    // Four sandboxes with two jobs each, about the size the worker serves.
    QByteArray tasks;
    for (int t = 0; t < 4; ++t) {
        if (t)
            tasks += ',';
        tasks += R"({"jobs":{"jobA":{"slicesDone":12,"slicesLeft":[1,2]},"jobB":{"slicesDone":3}},)"
                 R"("prototype":{"serial":)" + QByteArray::number(t) + R"(,"taskTime":1733700000,)"
                 R"("currentTask":{"jobs":{"jobA":{"sliceCount":20,"metrics":{"cpu":1.5,"gpu":0,)"
                 R"("in":20480,"out":512,"ram":1e8}},"jobB":{"metrics":{"in":1024,"out":64}}}}}})";
    }
    return "window.taskInfo={\"tasks\":[" + tasks + "],\"jobs\":{}};";
}

} // namespace

class BenchMetrics : public QObject {
    Q_OBJECT
    pid_t m_root = -1;
    QList<qint32> m_tree;
    std::vector<pid_t> m_sleepers;

    void ensureSleepers(int count)
    {
        while (int(m_sleepers.size()) < count) {
            const pid_t pid = spawn({"/bin/sleep", "600"});
            QVERIFY(pid > 0);
            m_sleepers.push_back(pid);
        }
    }

private slots:
    void initTestCase()
    {
        m_root = spawn({"/bin/sh", "-c",
                        "for i in 1 2 3 4 5 6 7; do /bin/sh -c 'for j in 1 2 3 4 5 6; do "
                        "/bin/sleep 600 & done; wait' & done; wait"});
        QVERIFY(m_root > 0);
        ProcessTreeProbe probe;
        QTRY_COMPARE_WITH_TIMEOUT(probe.snapshot({m_root}).size(), 50, 20000);
        const auto tree = probe.snapshot({m_root});
        m_tree = tree.keys();
    }

    void cleanupTestCase()
    {
        for (const qint32 pid : m_tree) {
            if (pid != m_root)
                ::kill(pid, SIGTERM);
        }
        ::kill(m_root, SIGTERM);
        ::waitpid(m_root, nullptr, 0);
        for (const pid_t pid : m_sleepers)
            ::kill(pid, SIGTERM);
        for (const pid_t pid : m_sleepers)
            ::waitpid(pid, nullptr, 0);
    }

    void snapshot_data()
    {
        QTest::addColumn<int>("others");
        QTest::addColumn<TreeWalk>("walk");
        QTest::addColumn<bool>("fresh");
        for (const int others : {300, 3000}) {
            const QByteArray suffix = ", " + QByteArray::number(others) + " others";
            QTest::newRow("children links" + suffix) << others << TreeWalk::childrenLinks << false;
            QTest::newRow("table scan" + suffix) << others << TreeWalk::tableScan << false;
            QTest::newRow("table scan, uncached" + suffix) << others << TreeWalk::tableScan << true;
        }
    }
    void snapshot()
    {
        QFETCH(int, others);
        QFETCH(TreeWalk, walk);
        QFETCH(bool, fresh);
        ensureSleepers(others);
        QTRY_VERIFY_WITH_TIMEOUT(QDir(QStringLiteral("/proc")).entryList().size() > others,
                                 10000);
        ProcessTreeProbe probe;
        QCOMPARE(probe.snapshot({m_root}, walk).size(), 50);
        // CPU time of this thread beside the wall time: on a shared machine the wall time
        // mostly measures waiting for a core.
        const int rounds = fresh ? 50 : 300;
        std::vector<double> walls;
        const double cpuBefore = threadCPUSeconds();
        for (int i = 0; i < rounds; ++i) {
            const auto start = std::chrono::steady_clock::now();
            if (fresh) {
                ProcessTreeProbe first;
                QCOMPARE(first.snapshot({m_root}, walk).size(), 50);
            } else {
                QCOMPARE(probe.snapshot({m_root}, walk).size(), 50);
            }
            walls.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        const double cpu = (threadCPUSeconds() - cpuBefore) / rounds;
        std::sort(walls.begin(), walls.end());
        qInfo("%-36s %4d processes on the machine: %.3f ms CPU, %.3f ms wall (median)",
              QTest::currentDataTag(), int(QDir(QStringLiteral("/proc")).entryList().size()),
              cpu * 1e3, walls[walls.size() / 2] * 1e3);
    }

    void samplerAndGovernorTicks()
    {
        ensureSleepers(300);
        TaskInfoServer server;
        server.bodies = {taskInfoBody()};
        QTemporaryDir dir;
        QObject owner;
        const pid_t root = m_root;
        const auto roots = [root] { return QList<qint32>{root}; };
        Timing timing;
        timing.samplerInterval = std::chrono::milliseconds(20);
        timing.governorInterval = std::chrono::milliseconds(20);
        MetricsSampler sampler({roots, &owner}, timing, {QStringLiteral("/proc"),
                                                         QStringLiteral("/sys"), server.url(), 0});
        MemoryGovernor governor({roots, [] { return MemorySettings{}; }, &owner}, timing,
                                dir.filePath(QStringLiteral("limit.json")));
        QSignalSpy samples(&sampler, &MetricsSampler::sampleFinished);
        QSignalSpy updates(&governor, &MemoryGovernor::updateFinished);
        sampler.start();
        governor.start();
        QTRY_VERIFY(samples.count() >= 5 && updates.count() >= 5); // warm up

        constexpr int ticks = 200;
        const int samplesBefore = int(samples.count());
        const int updatesBefore = int(updates.count());
        const double cpuBefore = cpuSeconds();
        QTRY_VERIFY_WITH_TIMEOUT(samples.count() >= samplesBefore + ticks
                                     && updates.count() >= updatesBefore + ticks,
                                 60000);
        const double perSampler = (cpuSeconds() - cpuBefore)
            / double(std::min(samples.count() - samplesBefore, updates.count() - updatesBefore));
        QCOMPARE(sampler.ram().latest() > 0, true);
        qInfo("sampler tick + governor tick: %.3f ms CPU, %.4f %% of one core every 2 s "
              "(the test's own event loop and HTTP server included)",
              perSampler * 1e3, perSampler / 2.0 * 100);
    }
};

QTEST_GUILESS_MAIN(BenchMetrics)
#include "bench_metrics.moc"
