// Slices of the stand-in worker: they run in real evaluator child processes,
// stop with the evaluator and obey the memory-limit file.
#include "sim_peer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <memory>

using namespace simtest;

class TestSimSlices : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_peer.reset(); }
    void slicesRunInEvaluatorChildrenAndStopWithIt();
    void memoryLimitFileIsObeyedWhileRunning();

private:
    std::unique_ptr<SimPeer> m_peer;
};

void TestSimSlices::init() {
    m_peer = std::make_unique<SimPeer>();
    QVERIFY(m_peer->isValid());
}

void TestSimSlices::slicesRunInEvaluatorChildrenAndStopWithIt() {
    QProcess* service =
        m_peer->start(QStringLiteral("vxr-worker.sh"),
                      {QStringLiteral("--max-sandboxes=2"), QStringLiteral("--output=stdio"),
                       QStringLiteral("-f"), m_peer->path(QStringLiteral("pid"))});
    QTRY_VERIFY_WITH_TIMEOUT(!m_peer->get(QStringLiteral("/worker/run-info")).isEmpty(), 5000);
    QProcess* evaluator = m_peer->start(
        QStringLiteral("vxr-evaluator.sh"),
        {QStringLiteral("--"), QStringLiteral("-o"), QStringLiteral("--single-threaded")});
    const qint64 evaluatorPid = evaluator->processId();

    // The script execs the evaluator; slices are real processes below it.
    QTRY_VERIFY_WITH_TIMEOUT(
        commandLine(evaluatorPid).contains("vxr-worker/bin/vxr-evaluator-start"), 5000);
    // A child caught between fork and exec still shows the evaluator's own command line.
    const auto burning = [evaluatorPid] {
        for (qint64 pid : childrenOf(evaluatorPid))
            if (commandLine(pid).contains("vxr-worker/bin/vxr-evaluator-start --burn"))
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(burning(), 5000);

    // Finished slices show up with their measured figures, and earn.
    auto finishedJob = [this]() -> QJsonObject {
        for (const QJsonValue& task : m_peer->taskInfo().value(QLatin1String("tasks")).toArray()) {
            const QJsonObject t = task.toObject();
            const QJsonObject counters = t.value(QLatin1String("jobs")).toObject();
            const QJsonObject current = t.value(QLatin1String("prototype"))
                                            .toObject()
                                            .value(QLatin1String("currentTask"))
                                            .toObject()
                                            .value(QLatin1String("jobs"))
                                            .toObject();
            for (auto it = counters.begin(); it != counters.end(); ++it)
                if (it->toObject().value(QLatin1String("slicesDone")).toInt() > 0)
                    return current.value(it.key()).toObject();
        }
        return {};
    };
    QJsonObject done;
    QTRY_VERIFY_WITH_TIMEOUT(!(done = finishedJob()).isEmpty(), 8000);
    QVERIFY(done.value(QLatin1String("sliceCount")).toInt() >= 3);
    QVERIFY(!done.value(QLatin1String("cgId")).toString().isEmpty());
    const QJsonObject metrics = done.value(QLatin1String("metrics")).toObject();
    QVERIFY(metrics.value(QLatin1String("cpu")).toDouble() > 0);
    QVERIFY(metrics.value(QLatin1String("ram")).toDouble() > 24.0 * 1024 * 1024);
    QVERIFY(metrics.value(QLatin1String("ramMax")).toDouble() >=
            metrics.value(QLatin1String("ram")).toDouble());
    QVERIFY(metrics.value(QLatin1String("ramSlices")).toInt() >= 1);
    QVERIFY(metrics.value(QLatin1String("in")).toDouble() > 0);
    QVERIFY(metrics.contains(QLatin1String("out")) && metrics.contains(QLatin1String("gpu")));

    const QJsonObject root = m_peer->taskInfo();
    const QJsonObject task = root.value(QLatin1String("tasks")).toArray().first().toObject();
    const QJsonObject prototype = task.value(QLatin1String("prototype")).toObject();
    QVERIFY(prototype.value(QLatin1String("serial")).isDouble());
    QVERIFY(prototype.value(QLatin1String("taskTime")).toDouble() > 1.7e12);
    bool breakdownSeen = false;
    const QJsonObject jobs = root.value(QLatin1String("jobs")).toObject();
    for (const QJsonValue& job : jobs) {
        const QJsonObject j = job.toObject();
        QVERIFY(!j.value(QLatin1String("name")).toString().isEmpty());
        QVERIFY(!j.value(QLatin1String("cgId")).toString().isEmpty());
        QVERIFY(
            j.value(QLatin1String("metrics")).toObject().value(QLatin1String("ram")).isDouble());
        const QJsonObject b = j.value(QLatin1String("ramBreakdown")).toObject();
        if (!b.isEmpty()) {
            breakdownSeen = true;
            for (const char* key : {"heap", "arrayBuffers", "wasm", "other", "slices"})
                QVERIFY2(b.value(QLatin1String(key)).isDouble(), key);
        }
    }
    QVERIFY(breakdownSeen);
    QVERIFY(unwrap(m_peer->get(QStringLiteral("/worker/run-info")), false)
                .value(QLatin1String("totalEarnings"))
                .toDouble() > 0);

    // A finished task is marked as such before the sandbox moves on.
    QTRY_VERIFY_WITH_TIMEOUT(
        m_peer->get(QStringLiteral("/worker/task-info")).contains("\"finished\":true"), 10000);

    // SIGTERM ends the evaluator and, first, its slices.
    const QList<qint64> slices = childrenOf(evaluatorPid);
    ::kill(pid_t(evaluatorPid), SIGTERM);
    QVERIFY(evaluator->waitForFinished(4000));
    QCOMPARE(evaluator->exitStatus(), QProcess::CrashExit);
    QCOMPARE(evaluator->exitCode(), SIGTERM);
    for (qint64 pid : slices)
        QTRY_VERIFY_WITH_TIMEOUT(!alive(pid), 2000);

    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(3000));
    QVERIFY(service->readAll().contains("evaluator connected"));
}

void TestSimSlices::memoryLimitFileIsObeyedWhileRunning() {
    const QString limitFile = m_peer->path(QStringLiteral("limit.json"));
    auto writeLimit = [&](qint64 limit) {
        QFile file(limitFile);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral("{\"limit\":%1,\"time\":1796775308074}").arg(limit).toUtf8());
    };
    writeLimit(0);
    QProcess* service =
        m_peer->start(QStringLiteral("vxr-worker.sh"),
                      {QStringLiteral("--max-sandboxes=3"), QStringLiteral("--output=stdio"),
                       QStringLiteral("-f"), m_peer->path(QStringLiteral("pid"))},
                      {{QStringLiteral("VXR_WORKER_MEMORY_LIMIT_FILE"), limitFile}});
    QTRY_VERIFY_WITH_TIMEOUT(!m_peer->get(QStringLiteral("/worker/run-info")).isEmpty(), 5000);
    m_peer->start(QStringLiteral("vxr-evaluator.sh"), {QStringLiteral("--"), QStringLiteral("-o"),
                                                       QStringLiteral("--single-threaded")});

    auto count = [this](const char* state) {
        int n = 0;
        for (const QJsonValue& task : m_peer->taskInfo().value(QLatin1String("tasks")).toArray())
            n += task.toObject()
                     .value(QLatin1String("sandbox"))
                     .toObject()
                     .value(QLatin1String("state"))
                     .toString() == QLatin1String(state);
        return n;
    };
    // A limit of 0 still lets one slice run, never more.
    QTRY_COMPARE_WITH_TIMEOUT(count("waiting-for-memory"), 2, 5000);
    int mostRunning = 0;
    QElapsedTimer watch;
    watch.start();
    while (watch.elapsed() < 1500) {
        mostRunning = std::max(mostRunning, count("running"));
        QTest::qWait(50);
    }
    QCOMPARE(mostRunning, 1);

    // The file is read while running: a larger limit lets the waiting slices start.
    writeLimit(qint64(4) << 30);
    QTRY_VERIFY_WITH_TIMEOUT(count("running") >= 2, 4000);
    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(3000));
    const QByteArray log = service->readAll();
    QVERIFY(log.contains("would not fit in the memory limit"));
    QVERIFY(log.contains("running one slice anyway"));
    QVERIFY(log.contains("memory limit now 4.0 GB (from limit file)"));
}

QTEST_GUILESS_MAIN(TestSimSlices)
#include "test_sim_slices.moc"
