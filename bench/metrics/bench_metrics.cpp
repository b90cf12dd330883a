// Cost of the worker-tree snapshot against the number of unrelated processes, and the
// CPU cost of one metrics sampler tick plus one memory governor tick.
//
// Spawns a 50-process tree (sh -> 7 sh -> 6 sleep each) and up to 3000 unrelated
// sleepers; every process it starts is ended by pid at the end.

#include "memory/memory_governor.h"
#include "metrics/metrics_sampler.h"
#include "metrics/task_info_server.h"
#include "platform/proc/process_tree.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace vxr;

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
        QTest::addColumn<bool>("fresh");
        QTest::newRow("300 others") << 300 << false;
        QTest::newRow("300 others, first snapshot") << 300 << true;
        QTest::newRow("3000 others") << 3000 << false;
        QTest::newRow("3000 others, first snapshot") << 3000 << true;
    }
    void snapshot()
    {
        QFETCH(int, others);
        QFETCH(bool, fresh);
        ensureSleepers(others);
        QTRY_VERIFY_WITH_TIMEOUT(QDir(QStringLiteral("/proc")).entryList().size() > others,
                                 10000);
        ProcessTreeProbe probe;
        QCOMPARE(probe.snapshot({m_root}).size(), 50);
        if (fresh) {
            QBENCHMARK {
                ProcessTreeProbe first;
                (void)first.snapshot({m_root});
            }
        } else {
            QBENCHMARK {
                (void)probe.snapshot({m_root});
            }
        }
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
