// The stand-in worker programs, run as real processes on a free port with a
// private HOME, checked from outside as the application sees them.
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <vector>

namespace {

const QString kBinDir = QStringLiteral(VXR_BINARY_DIR "/lib/vxr-worker");

// Small, fast jobs so slices finish within a test.
// 00:00-06:00 no computing, 06:00-22:30 unthrottled, 22:30-24:00 at 50%.
const QByteArray kSchedule = QByteArray(24, '0') + QByteArray(66, 'a') + QByteArray(6, '5');

const QByteArray kFastConfig = R"({
    "jobs": [
        {"id": "jobAlpha0123456789", "name": "Alpha", "cgId": "global", "sliceSeconds": 0.4,
         "sliceMB": 24, "cpuLoad": 0.5, "credit": 0.5},
        {"id": "jobBeta", "name": "Beta", "cgId": "lab", "global": false, "sliceSeconds": 0.4,
         "sliceMB": 24, "cpuLoad": 0.5, "credit": 0.25}
    ],
    "slicesPerTask": [3, 4], "fetchSeconds": 0.1, "finishedSeconds": 0.2, "reserveMB": 0,
    "mismatchKeys": ["0123456789abcdef0123456789abcdef"],
    "throttle": {"timezone": "Europe/Paris", "schedule": ")" + kSchedule + R"("}
})";

quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

bool alive(qint64 pid)
{
    if (::kill(pid_t(pid), 0) != 0)
        return false;
    // A zombie waiting for its parent has finished all the same.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

QList<qint64> childrenOf(qint64 pid)
{
    QList<qint64> pids;
    QFile file(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& p : file.readAll().simplified().split(' '))
            if (!p.isEmpty())
                pids.append(p.toLongLong());
    return pids;
}

QByteArray commandLine(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll().replace('\0', ' ') : QByteArray();
}

// The task-info envelope as the application reads it: after the first "=",
// one trailing ";" dropped.
QJsonObject unwrap(const QByteArray& body, bool dropSemicolon)
{
    const int eq = body.indexOf('=');
    if (eq < 0)
        return {};
    QByteArray json = body.mid(eq + 1);
    if (dropSemicolon && json.endsWith(';'))
        json.chop(1);
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class TestSimWorker : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void serviceAnswersInTheApplicationsFormats();
    void slicesRunInEvaluatorChildrenAndStopWithIt();
    void memoryLimitFileIsObeyedWhileRunning();
    void throttleSchedule_data();
    void throttleSchedule();
    void registrationOwnerAndReset();
    void misbehaviour_data();
    void misbehaviour();

private:
    QProcess* start(const QString& script, const QStringList& args,
                    const QMap<QString, QString>& env = {});
    std::pair<int, QString> oneShot(const QString& argument);
    QByteArray get(const QString& path, int* elapsedMs = nullptr);
    QJsonObject taskInfo() { return unwrap(get(QStringLiteral("/worker/task-info")), true); }
    void writeConfig(const QByteArray& text);

    std::unique_ptr<QTemporaryDir> m_home;
    quint16 m_port = 0;
    QNetworkAccessManager m_network;
    std::vector<QProcess*> m_processes;
};

void TestSimWorker::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    m_port = freePort();
    writeConfig(kFastConfig);
}

void TestSimWorker::cleanup()
{
    for (QProcess* p : m_processes) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(3000);
        }
        delete p;
    }
    m_processes.clear();
    m_home.reset();
}

void TestSimWorker::writeConfig(const QByteArray& text)
{
    QFile file(m_home->filePath(QStringLiteral("vxr-sim.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QProcess* TestSimWorker::start(const QString& script, const QStringList& args,
                               const QMap<QString, QString>& env)
{
    auto* process = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home->path());
    environment.insert(QStringLiteral("VXR_SIM_PORT"), QString::number(m_port));
    environment.insert(QStringLiteral("VXR_SIM_CONFIG"), m_home->filePath(QStringLiteral("vxr-sim.json")));
    for (auto it = env.begin(); it != env.end(); ++it)
        environment.insert(it.key(), it.value());
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(kBinDir + QLatin1Char('/') + script, args);
    m_processes.push_back(process);
    return process;
}

std::pair<int, QString> TestSimWorker::oneShot(const QString& argument)
{
    QProcess* p = start(QStringLiteral("vxr-worker.sh"), {argument});
    if (!p->waitForFinished(10000))
        return {-1, QString()};
    return {p->exitCode(), QString::fromUtf8(p->readAll())};
}

QByteArray TestSimWorker::get(const QString& path, int* elapsedMs)
{
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path)));
    request.setTransferTimeout(5000);
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<QNetworkReply> reply(m_network.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(6000))
        return {};
    if (elapsedMs)
        *elapsedMs = int(timer.elapsed());
    return reply->error() == QNetworkReply::NoError ||
                   reply->error() == QNetworkReply::ContentNotFoundError
               ? reply->readAll()
               : QByteArray();
}

void TestSimWorker::serviceAnswersInTheApplicationsFormats()
{
    const QString pidFile = m_home->filePath(QStringLiteral("vxr-worker.pid"));
    QProcess* service = start(QStringLiteral("vxr-worker.sh"),
                              {QStringLiteral("--max-sandboxes=3"), QStringLiteral("--output=stdio"),
                               QStringLiteral("-f"), pidFile, QStringLiteral("--no-global")},
                              {{QStringLiteral("VXR_WORKER_MEMORY_BUDGET"), QStringLiteral("0.25")},
                               {QStringLiteral("NODE_OPTIONS"),
                                QStringLiteral("--inspect --max-old-space-size=512")}});
    QTRY_VERIFY_WITH_TIMEOUT(!get(QStringLiteral("/hud/small-dark.html")).isEmpty(), 5000);

    // The script execs the program, so the application's child is the service itself,
    // and its command line carries what orphan reaping looks for.
    QFile pid(pidFile);
    QVERIFY(pid.open(QIODevice::ReadOnly));
    QCOMPARE(pid.readAll().trimmed().toLongLong(), service->processId());
    QVERIFY(commandLine(service->processId()).contains("vxr-worker/bin/vxr-worker --max-sandboxes=3"));

    const QByteArray page = get(QStringLiteral("/hud/small-dark.html"));
    for (const char* needle :
         {"id=\"logBlocker\"", "<table", "<th>", "class=\"vxr-amount\"", "class=\"vxr-fixed-font\"",
          "<pre id=\"loggerText\">connecting…", "off (--no-global)", "25% of"})
        QVERIFY2(page.contains(needle), needle);
    QVERIFY(page.contains("<th>Max sandboxes</th><td class=\"vxr-amount\">3</td>"));

    // The page's script fetches the log from here.
    const QJsonObject status = QJsonDocument::fromJson(get(QStringLiteral("/hud/status?after=0"))).object();
    QVERIFY(!status.value(QLatin1String("lines")).toArray().isEmpty());
    QVERIFY(status.value(QLatin1String("next")).toInteger() > 0);

    // run-info: prefix, "=", JSON and nothing after it.
    const QByteArray runInfoBody = get(QStringLiteral("/worker/run-info"));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\w+=\\{.*\\}$"))
                 .match(QString::fromUtf8(runInfoBody))
                 .hasMatch(),
             runInfoBody.constData());
    const QJsonObject runInfo = unwrap(runInfoBody, false);
    QVERIFY(runInfo.value(QLatin1String("totalEarnings")).isDouble());
    QVERIFY(!runInfo.contains(QLatin1String("earningsAccount")));

    // task-info: prefix, "=", JSON, ";".
    const QByteArray taskInfoBody = get(QStringLiteral("/worker/task-info"));
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
    QVERIFY(taskInfo().value(QLatin1String("tasks")).toArray().isEmpty());
    QCOMPARE(unwrap(get(QStringLiteral("/worker/run-info")), false)
                 .value(QLatin1String("totalEarnings"))
                 .toDouble(),
             0.0);

    QVERIFY(get(QStringLiteral("/hud/small-dark.html/")).startsWith("not found"));

    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(3000));
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), 0);
    QVERIFY(!QFile::exists(pidFile));
}

void TestSimWorker::slicesRunInEvaluatorChildrenAndStopWithIt()
{
    QProcess* service = start(QStringLiteral("vxr-worker.sh"),
                              {QStringLiteral("--max-sandboxes=2"), QStringLiteral("--output=stdio"),
                               QStringLiteral("-f"), m_home->filePath(QStringLiteral("pid"))});
    QTRY_VERIFY_WITH_TIMEOUT(!get(QStringLiteral("/worker/run-info")).isEmpty(), 5000);
    QProcess* evaluator =
        start(QStringLiteral("vxr-evaluator.sh"),
              {QStringLiteral("--"), QStringLiteral("-o"), QStringLiteral("--single-threaded")});
    const qint64 evaluatorPid = evaluator->processId();

    // The script execs the evaluator; slices are real processes below it.
    QTRY_VERIFY_WITH_TIMEOUT(
        commandLine(evaluatorPid).contains("vxr-worker/bin/vxr-evaluator-start"), 5000);
    QList<qint64> slices;
    QTRY_VERIFY_WITH_TIMEOUT(!(slices = childrenOf(evaluatorPid)).isEmpty(), 5000);
    QVERIFY(commandLine(slices.first()).contains("vxr-worker/bin/vxr-evaluator-start --burn"));

    // Finished slices show up with their measured figures, and earn.
    auto finishedJob = [this]() -> QJsonObject {
        for (const QJsonValue& task : taskInfo().value(QLatin1String("tasks")).toArray()) {
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

    const QJsonObject root = taskInfo();
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
        QVERIFY(j.value(QLatin1String("metrics")).toObject().value(QLatin1String("ram")).isDouble());
        const QJsonObject b = j.value(QLatin1String("ramBreakdown")).toObject();
        if (!b.isEmpty()) {
            breakdownSeen = true;
            for (const char* key : {"heap", "arrayBuffers", "wasm", "other", "slices"})
                QVERIFY2(b.value(QLatin1String(key)).isDouble(), key);
        }
    }
    QVERIFY(breakdownSeen);
    QVERIFY(unwrap(get(QStringLiteral("/worker/run-info")), false)
                .value(QLatin1String("totalEarnings"))
                .toDouble() > 0);

    // A finished task is marked as such before the sandbox moves on.
    QTRY_VERIFY_WITH_TIMEOUT(get(QStringLiteral("/worker/task-info")).contains("\"finished\":true"),
                             10000);

    // SIGTERM ends the evaluator and, first, its slices.
    slices = childrenOf(evaluatorPid);
    ::kill(pid_t(evaluatorPid), SIGTERM);
    QVERIFY(evaluator->waitForFinished(4000));
    QCOMPARE(evaluator->exitStatus(), QProcess::NormalExit);
    for (qint64 pid : slices)
        QTRY_VERIFY_WITH_TIMEOUT(!alive(pid), 2000);

    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(3000));
    QVERIFY(service->readAll().contains("evaluator connected"));
}

void TestSimWorker::memoryLimitFileIsObeyedWhileRunning()
{
    const QString limitFile = m_home->filePath(QStringLiteral("limit.json"));
    auto writeLimit = [&](qint64 limit) {
        QFile file(limitFile);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral("{\"limit\":%1,\"time\":1796775308074}").arg(limit).toUtf8());
    };
    writeLimit(0);
    QProcess* service = start(QStringLiteral("vxr-worker.sh"),
                              {QStringLiteral("--max-sandboxes=3"), QStringLiteral("--output=stdio"),
                               QStringLiteral("-f"), m_home->filePath(QStringLiteral("pid"))},
                              {{QStringLiteral("VXR_WORKER_MEMORY_LIMIT_FILE"), limitFile}});
    QTRY_VERIFY_WITH_TIMEOUT(!get(QStringLiteral("/worker/run-info")).isEmpty(), 5000);
    start(QStringLiteral("vxr-evaluator.sh"), {QStringLiteral("--"), QStringLiteral("-o"),
                                               QStringLiteral("--single-threaded")});

    auto count = [this](const char* state) {
        int n = 0;
        for (const QJsonValue& task : taskInfo().value(QLatin1String("tasks")).toArray())
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

void TestSimWorker::throttleSchedule_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("schedule");
    QTest::addColumn<QString>("timezone");
    QTest::newRow("configured") << kFastConfig
                                << QString::fromLatin1(kSchedule)
                                << QStringLiteral("Europe/Paris");
    QTest::newRow("none by default") << QByteArray("{}") << QString() << QString();
}

void TestSimWorker::throttleSchedule()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, schedule);
    QFETCH(QString, timezone);
    writeConfig(config);
    const auto [status, output] = oneShot(QStringLiteral("--show=throttle"));
    QCOMPARE(status, 0);
    // The patterns the application searches the output with.
    const auto scheduleMatch =
        QRegularExpression(QStringLiteral("schedule:\\s*'([0-9A-Fa-f]{96})'")).match(output);
    const auto zoneMatch = QRegularExpression(QStringLiteral("timezone:\\s*'([^']+)'")).match(output);
    QCOMPARE(scheduleMatch.captured(1), schedule);
    QCOMPARE(zoneMatch.captured(1), timezone);
}

void TestSimWorker::registrationOwnerAndReset()
{
    auto [status, output] = oneShot(QStringLiteral("--show=owner"));
    QVERIFY(status != 0);
    QVERIFY(!output.contains(QLatin1String("0x")));

    std::tie(status, output) = oneShot(QStringLiteral("--register=not-a-key"));
    QVERIFY(status != 0);
    QVERIFY(!output.contains(QLatin1String("Registration complete")));
    QVERIFY(output.contains(QLatin1String("invalid registration key")));

    std::tie(status, output) = oneShot(QStringLiteral("--register=0123456789abcdef0123456789abcdef"));
    QVERIFY(status != 0);
    QVERIFY(output.contains(QLatin1String("mismatch")));
    QVERIFY(!output.contains(QLatin1String("Registration complete")));

    const QString key = QStringLiteral("4f1c2a3b-5d6e-4789-a0b1-c2d3e4f5a6b7");
    std::tie(status, output) = oneShot(QStringLiteral("--register=") + key);
    QCOMPARE(status, 0);
    QVERIFY(output.contains(QLatin1String("Registration complete")));

    std::tie(status, output) = oneShot(QStringLiteral("--show=owner"));
    QCOMPARE(status, 0);
    const QString owner = output.trimmed().split(QLatin1Char('\n')).first();
    QVERIFY2(QRegularExpression(QStringLiteral("^0x[0-9a-f]{40}$")).match(owner).hasMatch(),
             qPrintable(output));

    // A restarted service pays the registered account.
    QProcess* service = start(QStringLiteral("vxr-worker.sh"), {QStringLiteral("--max-sandboxes=1")});
    QJsonObject runInfo;
    QTRY_VERIFY_WITH_TIMEOUT(!(runInfo = unwrap(get(QStringLiteral("/worker/run-info")), false)).isEmpty(),
                             5000);
    QCOMPARE(runInfo.value(QLatin1String("earningsAccount")).toString(), owner);
    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(3000));

    auto identity = [this] {
        QFile file(m_home->filePath(QStringLiteral(".vxr/localStorage/identity.json")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = identity();
    QVERIFY(!before.isEmpty());
    std::tie(status, output) = oneShot(QStringLiteral("--reset"));
    QCOMPARE(status, 0);
    QVERIFY(!identity().isEmpty());
    QVERIFY(identity() != before);
    std::tie(status, output) = oneShot(QStringLiteral("--show=owner"));
    QVERIFY(status != 0);
}

void TestSimWorker::misbehaviour_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");
    QTest::newRow("exit at once") << "VXR_SIM_EXIT_AT_ONCE" << "worker";
    QTest::newRow("ignore SIGTERM") << "VXR_SIM_IGNORE_SIGTERM" << "all";
    QTest::newRow("bad output") << "VXR_SIM_BAD_OUTPUT" << "1";
    QTest::newRow("slow answers") << "VXR_SIM_SLOW_MS" << "600";
    QTest::newRow("garbage answers") << "VXR_SIM_GARBAGE" << "1";
}

void TestSimWorker::misbehaviour()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);
    QProcess* service = start(QStringLiteral("vxr-worker.sh"), {QStringLiteral("--max-sandboxes=1")},
                              {{variable, value}, {QStringLiteral("VXR_SIM_EXIT_STATUS"), QStringLiteral("7")}});
    if (variable == QLatin1String("VXR_SIM_EXIT_AT_ONCE")) {
        QVERIFY(service->waitForFinished(3000));
        QCOMPARE(service->exitCode(), 7);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!get(QStringLiteral("/hud/small-dark.html")).isEmpty(), 5000);
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
        QVERIFY(get(QStringLiteral("/worker/run-info"), &elapsed).startsWith("runInfo="));
        QVERIFY2(elapsed >= 550, qPrintable(QString::number(elapsed)));
    } else {
        const QByteArray body = get(QStringLiteral("/worker/run-info"));
        QVERIFY(!body.isEmpty());
        QVERIFY(!body.contains('='));
        QVERIFY(!QString::fromUtf8(body).toUtf8().startsWith(body));
    }
}

QTEST_GUILESS_MAIN(TestSimWorker)
#include "test_sim_worker.moc"
