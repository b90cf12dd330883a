// The real program against the stand-in worker, checked from outside: what the
// service is started with, the process log, the limit file, the job history, the
// stop and quit paths, and a second launch.

#include "e2e/app_harness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTest>

using namespace e2e;

namespace {

// slicesDone > 0 for some job in the stand-in's own task-info, read directly.
bool standInFinishedASlice(QNetworkAccessManager& network) {
    QNetworkReply* reply = network.get(
        QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:9080/worker/task-info"))));
    QElapsedTimer clock;
    clock.start();
    while (!reply->isFinished() && clock.elapsed() < 2000)
        QTest::qWait(10);
    const QByteArray body = reply->isFinished() ? reply->readAll() : QByteArray();
    reply->abort();
    reply->deleteLater();
    const qsizetype eq = body.indexOf('=');
    const QJsonObject root =
        QJsonDocument::fromJson(body.mid(eq + 1).chopped(body.endsWith(';') ? 1 : 0)).object();
    for (const QJsonValue& task : root.value(QLatin1String("tasks")).toArray()) {
        const QJsonObject jobs = task.toObject().value(QLatin1String("jobs")).toObject();
        for (const QJsonValue& job : jobs)
            if (job.toObject().value(QLatin1String("slicesDone")).toDouble() > 0)
                return true;
    }
    return false;
}

} // namespace

class TestE2ERun : public QObject {
    Q_OBJECT

private:
    SessionBus m_bus;
    std::unique_ptr<AppHarness> m_app;

private slots:
    void initTestCase() { requireProgramAndBus(m_bus); }

    void init() {
        m_app = std::make_unique<AppHarness>();
        QVERIFY(m_app->isValid());
    }

    void cleanup() { endWorld(m_app, m_bus); }

    // The service's contract, the log, the limit file, then Start and Stop by D-Bus.
    void startStopByScript() {
        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(m_app->services().size(), 1, 10000);
        const Invocation service = m_app->services().first();
        QCOMPARE(service.ppid, m_app->pid());
        QCOMPARE(service.argv.size(), 4);
        QVERIFY2(QRegularExpression(QStringLiteral("^--max-sandboxes=[1-9][0-9]*$"))
                     .match(service.argv[0])
                     .hasMatch(),
                 qPrintable(service.argv[0]));
        QCOMPARE(service.argv.mid(1),
                 (QStringList{QStringLiteral("--output=stdio"), QStringLiteral("-f"),
                              m_app->privateTemp() + QStringLiteral("/vxr-worker.pid")}));
        QVERIFY(procFile(service.pid, "cmdline").contains("vxr-worker/bin/vxr-worker\0"));
        QCOMPARE(service.env.value(QLatin1String("NODE_OPTIONS")).toString(),
                 QStringLiteral("--max-old-space-size=4096"));
        const double budget =
            service.env.value(QLatin1String("VXR_WORKER_MEMORY_BUDGET")).toString().toDouble();
        QVERIFY2(
            budget > 0 && budget <= 1,
            qPrintable(service.env.value(QLatin1String("VXR_WORKER_MEMORY_BUDGET")).toString()));
        QCOMPARE(service.env.value(QLatin1String("VXR_WORKER_MEMORY_LIMIT_FILE")).toString(),
                 m_app->limitFile());
        QCOMPARE(service.env.value(QLatin1String("VXR_WORKER_MEMORY_STATS_FILE")).toString(),
                 m_app->appSupportDir() + QStringLiteral("/memory-peaks.json"));

        // The limit file is rewritten every 2 s with a fresh time, whole each time.
        const QRegularExpression limitShape(
            QStringLiteral("^\\{\"limit\":([0-9]+),\"time\":([0-9]+)\\}$"));
        QTRY_VERIFY_WITH_TIMEOUT(
            limitShape.match(QString::fromLatin1(m_app->read(m_app->limitFile()))).hasMatch(),
            5000);
        const auto firstLimit =
            limitShape.match(QString::fromLatin1(m_app->read(m_app->limitFile())));
        QVERIFY(firstLimit.captured(1).toULongLong() > 0);
        const qint64 firstTime = firstLimit.captured(2).toLongLong();
        QVERIFY(qAbs(QDateTime::currentMSecsSinceEpoch() - firstTime) < 5000);
        QRegularExpressionMatch next;
        QTRY_VERIFY_WITH_TIMEOUT(
            (next = limitShape.match(QString::fromLatin1(m_app->read(m_app->limitFile()))))
                    .hasMatch() &&
                next.captured(2).toLongLong() != firstTime,
            4000);
        const qint64 period = next.captured(2).toLongLong() - firstTime;
        QVERIFY2(period >= 1500 && period <= 3000, qPrintable(QString::number(period)));

        // Start: the evaluator runs with the documented arguments and its output is logged.
        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->evaluators().size(), 1, 5000);
        const Invocation evaluator = m_app->evaluators().first();
        QCOMPARE(evaluator.ppid, m_app->pid());
        QCOMPARE(evaluator.argv,
                 (QStringList{QStringLiteral("--"), QStringLiteral("--webgpu"),
                              QStringLiteral("-o"), QStringLiteral("--single-threaded")}));
        QVERIFY(procFile(evaluator.pid, "cmdline").contains("vxr-worker/bin/vxr-evaluator-start"));
        QTRY_VERIFY_WITH_TIMEOUT(m_app->read(m_app->processLog()).contains("[evaluator] "), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->read(m_app->processLog()).contains("[worker] "), 5000);
        // Every line carries one of the two prefixes: nothing unlabelled, nothing torn.
        const QList<QByteArray> lines = m_app->read(m_app->processLog()).split('\n');
        for (const QByteArray& line : lines.first(lines.size() - 1))
            QVERIFY2(line.startsWith("[worker] ") || line.startsWith("[evaluator] "),
                     line.constData());

        // Stop: a requested, polite end of the evaluator; the service stays.
        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        // SIGTERM ends it, as it ends the real program.
        const QRegularExpression requested(
            QStringLiteral("evaluator exited \\(requested\\), status 15\n"));
        QTRY_VERIFY_WITH_TIMEOUT(requested.match(QString::fromUtf8(m_app->output())).hasMatch(),
                                 5000);
        QVERIFY(!alive(evaluator.pid));
        QVERIFY(alive(service.pid));
        QVERIFY(!m_app->output().contains("exited unexpectedly"));
    }

    // Slices that ran end up in job-history.json; a save still pending is flushed at
    // quit, and quitting ends both children.
    void historyWrittenAndFlushedAtQuit() {
        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(m_app->services().size(), 1, 10000);
        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->evaluators().size(), 1, 5000);

        QNetworkAccessManager network;
        network.setProxy(QNetworkProxy::NoProxy);
        QTRY_VERIFY_WITH_TIMEOUT(standInFinishedASlice(network), 10000);
        // The application reads task-info every 1.5 s and saves 3 s after a change; quit
        // once it has surely read the finished slice but before its own save could run.
        QTest::qWait(1600);
        QVERIFY2(!QFileInfo::exists(m_app->historyFile()),
                 "saved before the quit: the timing assumption broke");
        QVERIFY(m_bus.action(QStringLiteral("quit")));
        QVERIFY(m_app->waitForExit(10000));
        QCOMPARE(m_app->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_app->exitCode(), 0);

        const QJsonDocument history = QJsonDocument::fromJson(m_app->read(m_app->historyFile()));
        QVERIFY2(history.isArray() && !history.array().isEmpty(),
                 m_app->read(m_app->historyFile()).left(300).constData());
        double slicesSeen = 0;
        for (const QJsonValue& record : history.array()) {
            QVERIFY(!record.toObject().value(QLatin1String("id")).toString().isEmpty());
            for (const QJsonValue& task :
                 record.toObject().value(QLatin1String("tasks")).toObject())
                slicesSeen += task.toObject().value(QLatin1String("slicesDone")).toDouble();
        }
        QVERIFY2(slicesSeen >= 1, m_app->read(m_app->historyFile()).left(300).constData());

        const Invocation service = m_app->services().first();
        const Invocation evaluator = m_app->evaluators().first();
        QTRY_VERIFY_WITH_TIMEOUT(!alive(service.pid) && !alive(evaluator.pid), 5000);
    }

    // SIGTERM, as a logout sends it, ends the program and both children.
    void sigtermEndsBothChildren() {
        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->evaluators().size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_app->services().size(), 1, 10000);
        const qint64 service = m_app->services().first().pid;
        const qint64 evaluator = m_app->evaluators().first().pid;
        QVERIFY(alive(service) && alive(evaluator));

        m_app->signal(SIGTERM);
        QVERIFY(m_app->waitForExit(10000));
        QCOMPARE(m_app->exitStatus(), QProcess::NormalExit);
        QTRY_VERIFY_WITH_TIMEOUT(!alive(service) && !alive(evaluator), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->processesOfThisWorld().isEmpty(), 5000);
    }

    // A second launch hands over to the first and leaves; the first keeps its service.
    void secondLaunchLeavesTheFirst() {
        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(m_app->services().size(), 1, 10000);
        const qint64 service = m_app->services().first().pid;

        QByteArray secondOutput;
        QCOMPARE(m_app->launchAgain(m_bus, 15000, &secondOutput), 0);
        QVERIFY2(!secondOutput.contains("did not answer"), secondOutput.constData());
        QVERIFY(m_app->running());
        QVERIFY(m_bus.action(QStringLiteral("show")));
        QVERIFY(alive(service));
        QCOMPARE(m_app->services().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestE2ERun)
#include "test_e2e_run.moc"
