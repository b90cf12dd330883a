// The stand-in worker service and its one-shot commands, run as real processes
// on a free port with a private HOME, checked as the application sees them.
#include "sim_peer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <memory>

using namespace simtest;

class TestSimService : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_peer.reset(); }
    void serviceAnswersInTheApplicationsFormats();
    void throttleSchedule_data();
    void throttleSchedule();
    void registrationOwnerAndReset();
    void misbehaviour_data();
    void misbehaviour();
    void liveSwitchesComeAndGo();

private:
    std::unique_ptr<SimPeer> m_peer;
};

void TestSimService::init() {
    m_peer = std::make_unique<SimPeer>();
    QVERIFY(m_peer->isValid());
}

void TestSimService::serviceAnswersInTheApplicationsFormats() {
    const QString pidFile = m_peer->path(QStringLiteral("vxr-worker.pid"));
    QProcess* service = m_peer->start(
        QStringLiteral("vxr-worker.sh"),
        {QStringLiteral("--max-sandboxes=3"), QStringLiteral("--output=stdio"),
         QStringLiteral("-f"), pidFile, QStringLiteral("--no-global")},
        {{QStringLiteral("VXR_WORKER_MEMORY_BUDGET"), QStringLiteral("0.25")},
         {QStringLiteral("NODE_OPTIONS"), QStringLiteral("--inspect --max-old-space-size=512")},
         {QStringLiteral("VXR_SIM_RECORD"), m_peer->path(QString())}});
    QTRY_VERIFY_WITH_TIMEOUT(!m_peer->get(QStringLiteral("/hud/small-dark.html")).isEmpty(), 5000);

    // The script execs the program, so the application's child is the service itself,
    // and its command line carries what orphan reaping looks for.
    QFile pid(pidFile);
    QVERIFY(pid.open(QIODevice::ReadOnly));
    QCOMPARE(pid.readAll().trimmed().toLongLong(), service->processId());
    QVERIFY(
        commandLine(service->processId()).contains("vxr-worker/bin/vxr-worker --max-sandboxes=3"));

    const QByteArray page = m_peer->get(QStringLiteral("/hud/small-dark.html"));
    for (const char* needle :
         {"id=\"logBlocker\"", "<table", "<th>", "class=\"vxr-amount\"", "class=\"vxr-fixed-font\"",
          "<pre id=\"loggerText\">connecting…", "off (--no-global)", "25% of"})
        QVERIFY2(page.contains(needle), needle);
    QVERIFY(page.contains("<th>Max sandboxes</th><td class=\"vxr-amount\">3</td>"));

    // The page's script fetches the log from here.
    const QJsonObject status =
        QJsonDocument::fromJson(m_peer->get(QStringLiteral("/hud/status?after=0"))).object();
    QVERIFY(!status.value(QLatin1String("lines")).toArray().isEmpty());
    QVERIFY(status.value(QLatin1String("next")).toInteger() > 0);

    // run-info: prefix, "=", JSON and nothing after it.
    const QByteArray runInfoBody = m_peer->get(QStringLiteral("/worker/run-info"));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\w+=\\{.*\\}$"))
                 .match(QString::fromUtf8(runInfoBody))
                 .hasMatch(),
             runInfoBody.constData());
    const QJsonObject runInfo = unwrap(runInfoBody, false);
    QVERIFY(runInfo.value(QLatin1String("totalEarnings")).isDouble());
    QVERIFY(!runInfo.contains(QLatin1String("earningsAccount")));

    // task-info: prefix, "=", JSON, ";".
    const QByteArray taskInfoBody = m_peer->get(QStringLiteral("/worker/task-info"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\w+=\\{.*\\};$"))
                .match(QString::fromUtf8(taskInfoBody))
                .hasMatch());
    const QJsonObject root = unwrap(taskInfoBody, true);
    QVERIFY(root.value(QLatin1String("tasks")).isArray());
    QVERIFY(root.value(QLatin1String("jobs")).isObject());
    const QJsonObject worker = root.value(QLatin1String("workerProcess")).toObject();
    for (const char* key : {"rss", "peakRss", "heapUsed", "heapLimit"})
        QVERIFY2(worker.value(QLatin1String(key)).toDouble() > 0, key);
    QCOMPARE(worker.value(QLatin1String("heapLimit")).toDouble(), 512.0 * 1024 * 1024);
    const QJsonObject budget = worker.value(QLatin1String("budget")).toObject();
    for (const char* key : {"limit", "reserve", "committed"})
        QVERIFY2(budget.value(QLatin1String(key)).isDouble(), key);
    QVERIFY(budget.value(QLatin1String("jobs")).isObject());
    QVERIFY(worker.value(QLatin1String("sandboxReuse")).isObject());

    // Without an evaluator nothing is fetched and nothing progresses.
    QTest::qWait(600);
    QVERIFY(m_peer->taskInfo().value(QLatin1String("tasks")).toArray().isEmpty());
    QCOMPARE(unwrap(m_peer->get(QStringLiteral("/worker/run-info")), false)
                 .value(QLatin1String("totalEarnings"))
                 .toDouble(),
             0.0);

    QVERIFY(m_peer->get(QStringLiteral("/hud/small-dark.html/")).startsWith("not found"));

    // The recorded start shows the arguments and environment as received.
    QFile record(m_peer->path(QStringLiteral("invocations.jsonl")));
    QVERIFY(record.open(QIODevice::ReadOnly));
    const QJsonObject started = QJsonDocument::fromJson(record.readLine()).object();
    QCOMPARE(started.value(QLatin1String("pid")).toInteger(), service->processId());
    QCOMPARE(started.value(QLatin1String("argv")).toVariant().toStringList(),
             (QStringList{QStringLiteral("--max-sandboxes=3"), QStringLiteral("--output=stdio"),
                          QStringLiteral("-f"), pidFile, QStringLiteral("--no-global")}));
    const QJsonObject env = started.value(QLatin1String("env")).toObject();
    QCOMPARE(env.value(QLatin1String("VXR_WORKER_MEMORY_BUDGET")).toString(),
             QStringLiteral("0.25"));

    // Outside the global group only the other compute groups' jobs are taken.
    m_peer->start(QStringLiteral("vxr-evaluator.sh"), {QStringLiteral("--")});
    QJsonObject jobs;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(jobs = m_peer->taskInfo().value(QLatin1String("jobs")).toObject()).isEmpty(), 5000);
    QCOMPARE(jobs.keys(), QStringList{QStringLiteral("jobBeta")});

    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(3000));
    // Like the real program: it cleans up, then ends by the signal.
    QCOMPARE(service->exitStatus(), QProcess::CrashExit);
    QCOMPARE(service->exitCode(), SIGTERM);
    QVERIFY(!QFile::exists(pidFile));
}

void TestSimService::throttleSchedule_data() {
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("schedule");
    QTest::addColumn<QString>("timezone");
    QTest::newRow("configured") << kFastConfig << QString::fromLatin1(kSchedule)
                                << QStringLiteral("Europe/Paris");
    QTest::newRow("none by default") << QByteArray("{}") << QString() << QString();
}

void TestSimService::throttleSchedule() {
    QFETCH(QByteArray, config);
    QFETCH(QString, schedule);
    QFETCH(QString, timezone);
    m_peer->writeConfig(config);
    const auto [status, output] = m_peer->oneShot(QStringLiteral("--show=throttle"));
    QCOMPARE(status, 0);
    // The patterns the application searches the output with.
    const auto scheduleMatch =
        QRegularExpression(QStringLiteral("schedule:\\s*'([0-9A-Fa-f]{96})'")).match(output);
    const auto zoneMatch =
        QRegularExpression(QStringLiteral("timezone:\\s*'([^']+)'")).match(output);
    QCOMPARE(scheduleMatch.captured(1), schedule);
    QCOMPARE(zoneMatch.captured(1), timezone);
}

void TestSimService::registrationOwnerAndReset() {
    auto [status, output] = m_peer->oneShot(QStringLiteral("--show=owner"));
    QVERIFY(status != 0);
    QVERIFY(!output.contains(QLatin1String("0x")));
    // A question leaves no identity behind: a reset then has nothing to back up.
    QVERIFY(!QFileInfo::exists(m_peer->path(QStringLiteral(".vxr"))));

    // A one-shot told to hang answers nothing until a signal ends it.
    QProcess* hung =
        m_peer->start(QStringLiteral("vxr-worker.sh"), {QStringLiteral("--reset")},
                      {{QStringLiteral("VXR_SIM_HANG_ONESHOT"), QStringLiteral("owner,reset")}});
    QVERIFY(!hung->waitForFinished(500));
    hung->terminate();
    QVERIFY(hung->waitForFinished(5000));
    QCOMPARE(hung->exitStatus(), QProcess::CrashExit);
    QVERIFY(!QFileInfo::exists(m_peer->path(QStringLiteral(".vxr"))));

    std::tie(status, output) = m_peer->oneShot(QStringLiteral("--register=not-a-key"));
    QVERIFY(status != 0);
    QVERIFY(!output.contains(QLatin1String("Registration complete")));
    QVERIFY(output.contains(QLatin1String("invalid registration key")));

    std::tie(status, output) =
        m_peer->oneShot(QStringLiteral("--register=0123456789abcdef0123456789abcdef"));
    QVERIFY(status != 0);
    QVERIFY(output.contains(QLatin1String("mismatch")));
    QVERIFY(!output.contains(QLatin1String("Registration complete")));

    const QString key = QStringLiteral("4f1c2a3b-5d6e-4789-a0b1-c2d3e4f5a6b7");
    std::tie(status, output) = m_peer->oneShot(QStringLiteral("--register=") + key);
    QCOMPARE(status, 0);
    QVERIFY(output.contains(QLatin1String("Registration complete")));

    std::tie(status, output) = m_peer->oneShot(QStringLiteral("--show=owner"));
    QCOMPARE(status, 0);
    const QString owner = output.trimmed().split(QLatin1Char('\n')).first();
    QVERIFY2(QRegularExpression(QStringLiteral("^0x[0-9a-f]{40}$")).match(owner).hasMatch(),
             qPrintable(output));

    // A restarted service pays the registered account.
    QProcess* service =
        m_peer->start(QStringLiteral("vxr-worker.sh"), {QStringLiteral("--max-sandboxes=1")});
    QJsonObject runInfo;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(runInfo = unwrap(m_peer->get(QStringLiteral("/worker/run-info")), false)).isEmpty(),
        5000);
    QCOMPARE(runInfo.value(QLatin1String("earningsAccount")).toString(), owner);
    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(3000));

    auto identity = [this] {
        QFile file(m_peer->path(QStringLiteral(".vxr/localStorage/identity.json")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = identity();
    QVERIFY(!before.isEmpty());
    std::tie(status, output) = m_peer->oneShot(QStringLiteral("--reset"));
    QCOMPARE(status, 0);
    QVERIFY(!identity().isEmpty());
    QVERIFY(identity() != before);
    std::tie(status, output) = m_peer->oneShot(QStringLiteral("--show=owner"));
    QVERIFY(status != 0);
}

void TestSimService::misbehaviour_data() {
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");
    QTest::newRow("exit at once") << QStringLiteral("VXR_SIM_EXIT_AT_ONCE")
                                  << QStringLiteral("worker");
    QTest::newRow("ignore SIGTERM")
        << QStringLiteral("VXR_SIM_IGNORE_SIGTERM") << QStringLiteral("all");
    QTest::newRow("bad output") << QStringLiteral("VXR_SIM_BAD_OUTPUT") << QStringLiteral("1");
    QTest::newRow("slow answers") << QStringLiteral("VXR_SIM_SLOW_MS") << QStringLiteral("600");
    QTest::newRow("garbage answers") << QStringLiteral("VXR_SIM_GARBAGE") << QStringLiteral("1");
    QTest::newRow("line break after answers")
        << QStringLiteral("VXR_SIM_GARBAGE") << QStringLiteral("newline");
}

void TestSimService::misbehaviour() {
    QFETCH(QString, variable);
    QFETCH(QString, value);
    QProcess* service = m_peer->start(
        QStringLiteral("vxr-worker.sh"), {QStringLiteral("--max-sandboxes=1")},
        {{variable, value}, {QStringLiteral("VXR_SIM_EXIT_STATUS"), QStringLiteral("7")}});
    if (variable == QLatin1String("VXR_SIM_EXIT_AT_ONCE")) {
        QVERIFY(service->waitForFinished(3000));
        QCOMPARE(service->exitCode(), 7);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!m_peer->get(QStringLiteral("/hud/small-dark.html")).isEmpty(), 5000);
    if (variable == QLatin1String("VXR_SIM_IGNORE_SIGTERM")) {
        ::kill(pid_t(service->processId()), SIGTERM);
        QVERIFY(!service->waitForFinished(500));
    } else if (variable == QLatin1String("VXR_SIM_BAD_OUTPUT")) {
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += service->readAll()).contains("tes and ends here\n"), 5000);
        QVERIFY(out.contains("\xff\xfe"));
        const QList<QByteArray> lines = out.split('\n');
        QVERIFY(std::any_of(lines.begin(), lines.end(),
                            [](const QByteArray& l) { return l.size() > 100000; }));
    } else if (variable == QLatin1String("VXR_SIM_SLOW_MS")) {
        int elapsed = 0;
        QVERIFY(m_peer->get(QStringLiteral("/worker/run-info"), &elapsed).startsWith("runInfo="));
        QVERIFY2(elapsed >= 550, qPrintable(QString::number(elapsed)));
    } else if (value == QLatin1String("newline")) {
        QVERIFY(m_peer->get(QStringLiteral("/worker/task-info")).endsWith("};\n"));
    } else if (value == QLatin1String("newline")) {
        QVERIFY(m_peer->get(QStringLiteral("/worker/task-info")).endsWith("};\n"));
    } else {
        const QByteArray body = m_peer->get(QStringLiteral("/worker/run-info"));
        QVERIFY(!body.isEmpty());
        QVERIFY(!body.contains('='));
        QVERIFY(!QString::fromUtf8(body).toUtf8().startsWith(body));
    }
}

// The switch file turns misbehaviour on and off in a running service, each answer
// following the file within a poll or two.
void TestSimService::liveSwitchesComeAndGo() {
    const QString switchFile = m_peer->path(QStringLiteral("switches"));
    const auto setSwitches = [&](const QByteArray& words) {
        QFile file(switchFile);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(words);
    };
    QProcess* service =
        m_peer->start(QStringLiteral("vxr-worker.sh"), {QStringLiteral("--max-sandboxes=1")},
                      {{QStringLiteral("VXR_SIM_SWITCH_FILE"), switchFile}});
    const auto runInfo = [&] { return m_peer->get(QStringLiteral("/worker/run-info")); };
    QTRY_VERIFY_WITH_TIMEOUT(runInfo().startsWith("runInfo="), 5000);

    setSwitches("garbage\n");
    QTRY_VERIFY_WITH_TIMEOUT(!runInfo().contains('='), 3000);

    setSwitches("oversized");
    // Announced and chunked by turns; either way the whole body arrives.
    QTRY_VERIFY_WITH_TIMEOUT(runInfo().size() >= 12 * 1024 * 1024, 3000);
    const QByteArray next = runInfo();
    QVERIFY2(next.size() >= 12 * 1024 * 1024 && next.endsWith("};"),
             qPrintable(QString::number(next.size())));

    setSwitches("flood");
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += service->readAll()).count("\nflood ") > 40000, 5000);

    setSwitches("");
    QTRY_VERIFY_WITH_TIMEOUT((out += service->readAll()).contains("live switches now: none"), 3000);
    QVERIFY(runInfo().startsWith("runInfo="));
    QTest::qWait(500);
    QVERIFY(!service->readAll().contains("flood "));
}

QTEST_GUILESS_MAIN(TestSimService)
#include "test_sim_service.moc"
