#include "core/envelope.h"
#include "memory/memory_governor.h"
#include "metrics/metric_history.h"
#include "metrics/metrics_sampler.h"
#include "metrics/sample_math.h"
#include "worker_interface/task_info_parser.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;
using namespace std::chrono_literals;

namespace {

using GpuTimes = QHash<qint32, quint64>;

ProcessTreeSnapshot treeWithCPU(quint64 cpuNS, quint64 rss = 0) {
    return {{1, {rss, cpuNS / 2, 0}}, {2, {0, cpuNS - cpuNS / 2, 0}}};
}

// One task ("serial" 7, "taskTime" 1000) with job "j1": "in" bytes per slice and slices done.
QByteArray taskInfoBody(int slicesDone, double in = 1000, double out = 10) {
    return "window.taskInfo=" +
           QJsonDocument::fromJson(QStringLiteral(R"({"tasks":[{"jobs":{"j1":{"slicesDone":%1}},
            "prototype":{"serial":7,"taskTime":1000,
            "currentTask":{"jobs":{"j1":{"metrics":{"in":%2,"out":%3}}}}}}]})")
                                       .arg(slicesDone)
                                       .arg(in)
                                       .arg(out)
                                       .toUtf8())
               .toJson(QJsonDocument::Compact) +
           ";";
}

bool copyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target))
            return false;
    }
    return true;
}

} // namespace

class TestMetrics : public QObject {
    Q_OBJECT
private slots:
    void historyKeepsTheNewestValues() {
        MetricHistory history;
        QCOMPARE(history.latest(), 0.0);
        QCOMPARE(history.average(), 0.0);
        QCOMPARE(history.peak(), 0.0);
        for (int i = 0; i <= 450; ++i)
            history.add(i);
        QCOMPARE(history.samples.size(), 450);
        QCOMPARE(history.samples.first(), 1.0);
        QCOMPARE(history.latest(), 450.0);
        QCOMPARE(history.peak(), 450.0);
        QCOMPARE(history.average(), 225.5);

        MetricHistory small(2);
        small.add(-1);
        small.add(3);
        small.add(2);
        QCOMPARE(small.samples, (QList<double>{3, 2}));
        QCOMPARE(small.peak(), 3.0);
    }

    void sampleFigures_data() {
        QTest::addColumn<bool>("hasPrevious");
        QTest::addColumn<quint64>("lastCPU");
        QTest::addColumn<quint64>("cpuTotal");
        QTest::addColumn<GpuTimes>("lastGPU");
        QTest::addColumn<GpuTimes>("gpu");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("processors");
        QTest::addColumn<double>("cpuPercent");
        QTest::addColumn<double>("gpuPercent");
        QTest::newRow("8 s of CPU over 2 s on 8 CPUs")
            << true << quint64(1e9) << quint64(9e9) << GpuTimes{} << GpuTimes{} << 2.0 << 8 << 50.0
            << 0.0;
        QTest::newRow("clamped at every core busy")
            << true << quint64(0) << quint64(40e9) << GpuTimes{} << GpuTimes{} << 2.0 << 8 << 100.0
            << 0.0;
        QTest::newRow("no processor count counts as one")
            << true << quint64(0) << quint64(1e9) << GpuTimes{} << GpuTimes{} << 2.0 << 0 << 50.0
            << 0.0;
        QTest::newRow("first sample") << false << quint64(0) << quint64(9e9) << GpuTimes{}
                                      << GpuTimes{{5, quint64(3e9)}} << 2.0 << 8 << 0.0 << 0.0;
        QTest::newRow("CPU total shrank (a process exited)")
            << true << quint64(9e9) << quint64(8e9) << GpuTimes{} << GpuTimes{} << 2.0 << 8 << 0.0
            << 0.0;
        QTest::newRow("no time passed") << true << quint64(0) << quint64(9e9) << GpuTimes{{5, 0}}
                                        << GpuTimes{{5, quint64(1e9)}} << 0.0 << 8 << 0.0 << 0.0;
        QTest::newRow("3e9 ns of GPU over 2 s clamps at 100")
            << true << quint64(0) << quint64(0) << GpuTimes{{5, quint64(1e9)}}
            << GpuTimes{{5, quint64(4e9)}} << 2.0 << 8 << 0.0 << 100.0;
        QTest::newRow("new and shrinking GPU processes add nothing")
            << true << quint64(0) << quint64(0)
            << GpuTimes{{5, quint64(1e9)}, {6, quint64(5e9)}, {7, 1}}
            << GpuTimes{{5, quint64(2e9)}, {6, quint64(4e9)}, {8, quint64(9e9)}} << 2.0 << 8 << 0.0
            << 50.0;
    }
    void sampleFigures() {
        QFETCH(bool, hasPrevious);
        QFETCH(quint64, lastCPU);
        QFETCH(quint64, cpuTotal);
        QFETCH(GpuTimes, lastGPU);
        QFETCH(GpuTimes, gpu);
        QFETCH(double, seconds);
        QFETCH(int, processors);
        const auto before = SampleClock::now();
        SampleBaseline baseline;
        if (hasPrevious) {
            baseline.lastSampleTime = before;
            baseline.lastTotalCPUTimeNS = lastCPU;
        }
        baseline.lastGPUTimeNSByPID = lastGPU;
        const auto now = before + std::chrono::duration_cast<SampleClock::duration>(
                                      std::chrono::duration<double>(seconds));
        const SampleFigures figures =
            advanceSample(baseline, treeWithCPU(cpuTotal, 3u << 29), gpu, now, processors);
        QTEST(figures.cpuPercent, "cpuPercent");
        QTEST(figures.gpuPercent, "gpuPercent");
        QCOMPARE(figures.ramGB, 1.5);
        QCOMPARE(baseline.lastTotalCPUTimeNS, std::optional<quint64>(cpuTotal));
        QCOMPARE(baseline.lastSampleTime, std::optional(now));
        QCOMPARE(baseline.lastGPUTimeNSByPID, gpu);
    }

    void percentClamping() {
        QCOMPARE(clampPercent(std::nan("")), 0.0);
        QCOMPARE(clampPercent(-3), 0.0);
        QCOMPARE(clampPercent(150), 100.0);
        QCOMPARE(clampPercent(37.5), 37.5);
    }

    void envelope_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("parses");
        QTest::newRow("prefix, object, semicolon") << QByteArray("window.x={\"a\":1};") << true;
        QTest::newRow("no semicolon") << QByteArray("x={\"a\":1}") << true;
        QTest::newRow("equals inside the JSON") << QByteArray("x={\"a\":\"b=c\"};") << true;
        QTest::newRow("line break after the semicolon") << QByteArray("x={\"a\":1};\n") << false;
        QTest::newRow("two semicolons") << QByteArray("x={\"a\":1};;") << false;
        QTest::newRow("no equals sign") << QByteArray("{\"a\":1}") << false;
        QTest::newRow("array") << QByteArray("x=[1];") << false;
        QTest::newRow("not UTF-8") << QByteArray("x={\"a\":\"\xff\"};") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void envelope() {
        QFETCH(QByteArray, body);
        QFETCH(bool, parses);
        const auto root = parseTaskInfoRoot(body);
        QCOMPARE(root.has_value(), parses);
        if (parses)
            QVERIFY(root->contains(QLatin1String("a")));
    }

    void networkTotalsOnlyGrow() {
        NetworkTotals totals;
        const auto look = [&](int slicesDone, double in) {
            accountTaskInfo(totals, *TaskInfoParser().parseBody(taskInfoBody(slicesDone, in)));
            return totals.bytesIn;
        };
        QCOMPARE(look(3, 1000), 3000.0);
        QCOMPARE(look(4, 1000), 4000.0);
        QCOMPARE(look(2, 1000), 4000.0); // the product fell: nothing subtracted
        QCOMPARE(look(5, 500), 4500.0);  // 2500 against the baseline of 2000
        QCOMPARE(totals.bytesOut, 30.0 + 10 + 0 + 30);
        QCOMPARE(totals.lastTaskJobBytesIn.keys(), QStringList{QStringLiteral("7|1000|j1")});

        // Entries the reader cannot use are skipped one by one.
        const NetworkTotals before = totals;
        accountTaskInfo(totals, *TaskInfoParser().parseJson(R"({"tasks":[1,"x",
            {"jobs":{"j1":{"slicesDone":"9"}},"prototype":{"serial":7,"taskTime":1000,
             "currentTask":{"jobs":{"j1":{"metrics":{"in":1000}}}}}},
            {"jobs":{"j1":{"slicesDone":9}},"prototype":{"serial":7,"taskTime":1000,
             "currentTask":{"jobs":{"j1":{"metrics":5}}}}},
            {"jobs":{"j1":{"slicesDone":9}},"prototype":{"currentTask":[]}}]})"));
        accountTaskInfo(totals, *TaskInfoParser().parseJson(R"({"tasks":{}})"));
        QCOMPARE(totals, before);

        // The same job in another task is another key; missing "in" counts as 0.
        accountTaskInfo(totals, *TaskInfoParser().parseJson(R"({"tasks":[
            {"jobs":{"j1":{"slicesDone":2}},"prototype":{"serial":"s",
             "currentTask":{"jobs":{"j1":{"metrics":{"in":100.5}}}}}},
            {"jobs":{"j1":{"slicesDone":2}},"prototype":{"serial":8,
             "currentTask":{"jobs":{"j1":{"metrics":{}}}}}}]})"));
        QCOMPARE(totals.bytesIn, 4500.0 + 201);
        QVERIFY(totals.lastTaskJobBytesIn.contains(QStringLiteral("s||j1")));
        QCOMPARE(totals.lastTaskJobBytesIn.value(QStringLiteral("8||j1"), -1), 0.0);
    }

    void samplerRecordsTreeAndNetwork() {
        QObject owner;
        ProcessTreeWatch tree([] { return QList<qint32>{100}; }, std::chrono::milliseconds(10),
                              QStringLiteral(VXR_TEST_DATA_DIR "/proc/children"));
        MetricsSampler sampler({&tree, &owner}, {QStringLiteral("/nonexistent"), 8});
        int finished = 0;
        bool historiesInStep = true;
        connect(&sampler, &MetricsSampler::sampleFinished, this, [&] {
            ++finished;
            historiesInStep = historiesInStep && sampler.ram().samples.size() == finished &&
                              sampler.cpu().samples.size() == finished &&
                              sampler.gpu().samples.size() == finished;
        });
        QSignalSpy bytesIn(&sampler, &MetricsSampler::bytesInChanged);
        sampler.start();
        sampler.start();
        // The documents the controller's poll hands over as they change.
        const QList<QByteArray> bodies{taskInfoBody(3), taskInfoBody(4),
                                       QByteArray("window.taskInfo={\"tasks\":[]}")};
        for (const QByteArray& body : bodies) {
            const std::optional<TaskInfo> info = TaskInfoParser().parseBody(body);
            QVERIFY(info);
            sampler.recordTaskInfo(*info);
        }
        QTRY_VERIFY(finished >= 4);
        QVERIFY(historiesInStep);
        // 100, 101, 102, 103 and 104 of the fixture: 7512 KiB resident.
        QCOMPARE(sampler.ram().samples.first(), 7512.0 * 1024 / 1073741824);
        QCOMPARE(sampler.cpu().peak(), 0.0);
        QCOMPARE(sampler.bytesIn(), 4000.0);
        QCOMPARE(sampler.bytesOut(), 40.0);
        QCOMPARE(bytesIn.count(), 2);
    }

    // One walk per period feeds both readers; a settings change inside the period takes
    // the footprint from that walk instead of walking again.
    void governorAndSamplerShareOneWalk() {
        QTemporaryDir dir;
        const QString procRoot = dir.filePath(QStringLiteral("proc"));
        QVERIFY(copyTree(QStringLiteral(VXR_TEST_DATA_DIR "/proc/children"), procRoot));
        QObject owner;
        ProcessTreeWatch tree([] { return QList<qint32>{100}; }, 1h, procRoot);
        MetricsSampler sampler({&tree, &owner}, {QStringLiteral("/nonexistent"), 8});
        MemorySettings settings;
        MemoryGovernor governor({&tree, [&] { return settings; }, &owner},
                                dir.filePath(QStringLiteral("limit.json")));
        QSignalSpy walks(&tree, &ProcessTreeWatch::sampled);
        QSignalSpy samples(&sampler, &MetricsSampler::sampleFinished);
        QSignalSpy updates(&governor, &MemoryGovernor::updateFinished);
        sampler.start();
        governor.start();
        QTRY_COMPARE(samples.count(), 1);
        QTRY_COMPARE(updates.count(), 1);
        QCOMPARE(walks.count(), 1);
        QCOMPARE(sampler.ram().latest(), 7512.0 * 1024 / 1073741824);
        QCOMPARE(governor.reading()->vxr, quint64(5680) * 1024);

        QVERIFY(QDir(procRoot + QStringLiteral("/100")).removeRecursively());
        settings.memoryCapPercent = 60;
        governor.settingsChanged();
        QTRY_COMPARE(updates.count(), 2);
        QCOMPARE(governor.reading()->vxr, quint64(5680) * 1024);
        QCOMPARE(walks.count(), 1);
        QCOMPARE(samples.count(), 1);
    }

    void samplerStopsWithItsOwner() {
        auto owner = std::make_unique<QObject>();
        ProcessTreeWatch tree({}, std::chrono::milliseconds(10), QStringLiteral("/nonexistent"));
        MetricsSampler sampler({&tree, owner.get()}, {QStringLiteral("/nonexistent"), 8});
        QSignalSpy finished(&sampler, &MetricsSampler::sampleFinished);
        sampler.start();
        QTRY_VERIFY(finished.count() >= 2);
        QCOMPARE(sampler.ram().latest(), 0.0); // no roots: an empty tree

        // Once the owner is gone nothing is recorded.
        owner.reset();
        finished.clear();
        QTRY_VERIFY(finished.count() >= 1);
        const int samples = int(sampler.ram().samples.size());
        QTRY_VERIFY(finished.count() >= 3);
        QCOMPARE(sampler.ram().samples.size(), samples);
    }
};

QTEST_GUILESS_MAIN(TestMetrics)
#include "test_metrics.moc"
