// The control interface and its client against the real program: what a script sees
// and may change, and that each change is announced once.

#include "e2e/app_harness.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QXmlStreamReader>

#include <sched.h>

using namespace e2e;

namespace {

constexpr char kControl[] = "network.quorbel.vxrworker.Control1";

struct CtlRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

int processors() {
    cpu_set_t set;
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
}

// "Name type access" and "method Name(types)" for one interface of an introspection text.
QStringList members(const QByteArray& xmlText, const QString& interface) {
    QXmlStreamReader xml(xmlText);
    QStringList found;
    QString current;
    QString method;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        const auto name = xml.name();
        const auto attribute = [&](const char* key) {
            return xml.attributes().value(QLatin1String(key)).toString();
        };
        if (token == QXmlStreamReader::StartElement && name == u"interface")
            current = attribute("name");
        if (current != interface)
            continue;
        if (token == QXmlStreamReader::StartElement && name == u"property")
            found.append(attribute("name") + ' ' + attribute("type") + ' ' + attribute("access"));
        else if (token == QXmlStreamReader::StartElement && name == u"method")
            method = "method " + attribute("name") + '(';
        else if (token == QXmlStreamReader::StartElement && name == u"arg" && !method.isEmpty())
            method += attribute("type");
        else if (token == QXmlStreamReader::EndElement && name == u"method")
            found.append(std::exchange(method, QString()) + ')');
    }
    found.sort();
    return found;
}

} // namespace

class TestE2EControl : public QObject {
    Q_OBJECT

private:
    SessionBus m_bus;
    std::unique_ptr<AppHarness> m_app;
    // Each PropertiesChanged of the control interface, as received.
    QList<QVariantMap> m_changes;

    CtlRun ctl(const QStringList& arguments, int timeoutMs = 10000) {
        QProcess client;
        client.setProcessEnvironment(m_app->environment(m_bus.address()));
        endWithTestProcess(client, SIGKILL);
        client.start(buildDir() + "/bin/vxr-worker-ctl", arguments);
        CtlRun run;
        if (client.waitForFinished(timeoutMs) && client.exitStatus() == QProcess::NormalExit)
            run.status = client.exitCode();
        else
            client.kill(), client.waitForFinished(3000);
        run.out = client.readAllStandardOutput();
        run.err = client.readAllStandardError();
        return run;
    }

    QString get(const QString& name) { return QString::fromUtf8(ctl({"get", name}).out.trimmed()); }

    int changesOf(const QString& name) const {
        int count = 0;
        for (const QVariantMap& change : m_changes)
            count += change.contains(name);
        return count;
    }

    // The writable properties, as status --json reports them.
    QJsonObject settings() {
        QJsonObject all = QJsonDocument::fromJson(ctl({"status", "--json"}).out).object();
        for (const char* name : {"ServiceRunning", "EvaluatorRunning", "Stopping", "IdleSeconds",
                                 "IdleDetection", "OnBattery", "WorkerURL", "TotalEarnings",
                                 "EarningsAccount", "RegistrationStatus", "ThrottleNotice"})
            all.remove(QLatin1String(name));
        return all;
    }

    void startApp() {
        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(get("ServiceRunning"), QString("true"), 15000);
    }

    QDBusMessage setProperty(const QString& name, const QVariant& value) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kServiceName, kObjectPath, "org.freedesktop.DBus.Properties", "Set");
        call << QString(kControl) << name << QVariant::fromValue(QDBusVariant(value));
        return m_bus.connection().call(call, QDBus::Block, 5000);
    }

private slots:
    void initTestCase() {
        requireProgramAndBus(m_bus);
        QVERIFY(QFileInfo::exists(buildDir() + "/bin/vxr-worker-ctl"));
        QVERIFY(m_bus.connection().connect(
            kServiceName, kObjectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged", this,
            SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    }

    void init() {
        m_app = std::make_unique<AppHarness>();
        QVERIFY(m_app->isValid());
        m_changes.clear();
    }

    void cleanup() { endWorld(m_app, m_bus); }

    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList&) {
        if (interface == QLatin1String(kControl))
            m_changes.append(changed);
    }

    // Without the app: a clear message and status 1; a wrong command line: usage and 2.
    void clientWithoutApp() {
        const CtlRun status = ctl({"status"});
        QCOMPARE(status.status, 1);
        QCOMPARE(status.err, QByteArray("vxr-worker-ctl: VXR Worker is not running\n"));
        QVERIFY(status.out.isEmpty());
        QCOMPARE(ctl({"watch"}).status, 1);
        const CtlRun usage = ctl({"set", "NoSuchSetting", "1"});
        QCOMPARE(usage.status, 2);
        QVERIFY(usage.err.startsWith("Usage: vxr-worker-ctl"));
    }

    // Status while stopped, the interface as its XML says, then start: the evaluator
    // runs and each change is announced once, to the bus and to watch.
    void statusStartAndWatch() {
        startApp();
        QFile xmlFile(VXR_CONTROL_XML);
        QVERIFY(xmlFile.open(QIODevice::ReadOnly));
        const QByteArray declared = xmlFile.readAll();
        QDBusMessage introspect = QDBusMessage::createMethodCall(
            kServiceName, kObjectPath, "org.freedesktop.DBus.Introspectable", "Introspect");
        const QDBusMessage live = m_bus.connection().call(introspect, QDBus::Block, 5000);
        QVERIFY(!members(declared, kControl).isEmpty());
        const QByteArray liveXml = live.arguments().value(0).toString().toUtf8();
        QCOMPARE(members(liveXml, kControl), members(declared, kControl));
        QCOMPARE(liveXml.count("<interface name=\"org.freedesktop.DBus.Properties\""), 1);

        const CtlRun text = ctl({"status"});
        QCOMPARE(text.status, 0);
        QVERIFY2(text.out.contains("\nEvaluatorRunning        false\n"), text.out.constData());
        QVERIFY(text.out.contains("\nManualOverride          false\n"));
        QVERIFY(text.out.contains("\nRegistrationStatus      "));
        const QJsonObject json = QJsonDocument::fromJson(ctl({"status", "--json"}).out).object();
        QCOMPARE(json.size(), 20);
        QCOMPARE(json.value("ServiceRunning"), QJsonValue(true));
        QCOMPARE(json.value("EvaluatorRunning"), QJsonValue(false));
        QVERIFY(json.value("MaxSandboxes").isDouble());

        QProcess watch;
        watch.setProcessEnvironment(m_app->environment(m_bus.address()));
        endWithTestProcess(watch, SIGKILL);
        watch.start(buildDir() + "/bin/vxr-worker-ctl", {"watch"});
        QVERIFY(watch.waitForStarted(5000));
        QTest::qWait(300); // subscribed

        m_changes.clear();
        QCOMPARE(ctl({"start"}).status, 0);
        QTRY_COMPARE_WITH_TIMEOUT(changesOf("EvaluatorRunning"), 1, 10000);
        QCOMPARE(get("EvaluatorRunning"), QString("true"));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->evaluators().size(), 1, 5000);
        QCOMPARE(ctl({"start"}).status, 0); // already started: nothing changes
        QTest::qWait(1500);
        QCOMPARE(changesOf("EvaluatorRunning"), 1);
        QCOMPARE(changesOf("ManualOverride"), 1);
        QCOMPARE(m_app->evaluators().size(), 1);

        const QByteArray watched = watch.readAllStandardOutput();
        QCOMPARE(linesWith(watched, "EvaluatorRunning"),
                 QList<QByteArray>{"EvaluatorRunning        true"});
        QCOMPARE(linesWith(watched, "ManualOverride"),
                 QList<QByteArray>{"ManualOverride          true"});

        // quit runs the app's quit path; watch ends with it.
        QCOMPARE(ctl({"quit"}).status, 0);
        QVERIFY(m_app->waitForExit(15000));
        QVERIFY(watch.waitForFinished(5000));
        QCOMPARE(watch.exitCode(), 1);
        QCOMPARE(watch.readAllStandardError(),
                 QByteArray("vxr-worker-ctl: VXR Worker is not running\n"));
    }

    // Values the Settings screen could never reach are refused and change nothing;
    // accepted ones, an in-range value between its steps too, are taken and announced.
    void refusedWrites() {
        startApp();
        const QJsonObject before = settings();
        QCOMPARE(before.size(), 9);
        m_changes.clear();
        const QList<QStringList> refused{{"IdleThresholdMinutes", "0.1"},
                                         {"IdleThresholdMinutes", "nan"},
                                         {"IdleThresholdMinutes", "61"},
                                         {"MemoryCapPercent", "95"},
                                         {"MemoryHeadroomGB", "-1"},
                                         {"MaxSandboxes", "0"},
                                         {"MaxSandboxes", QString::number(processors() + 1)}};
        for (const QStringList& write : refused) {
            const CtlRun run = ctl(QStringList{"set"} + write);
            QCOMPARE(run.status, 1);
            QVERIFY2(run.err.startsWith("vxr-worker-ctl: " + write[0].toUtf8() + " must be"),
                     run.err.constData());
        }
        QCOMPARE(ctl({"set", "MaxSandboxes", "two"}).status, 1);

        // Wrong D-Bus types and read-only properties, straight on the bus.
        const QString invalid = "org.freedesktop.DBus.Error.InvalidArgs";
        QCOMPARE(setProperty("MemoryCapPercent", QString("50")).errorName(), invalid);
        QCOMPARE(setProperty("IdleThresholdMinutes", 5).errorName(), invalid);
        QCOMPARE(setProperty("MaxSandboxes", 1.0).errorName(), invalid);
        QCOMPARE(setProperty("ManualOverride", QString("true")).errorName(), invalid);
        QCOMPARE(setProperty("ServiceRunning", false).errorName(),
                 QString("org.freedesktop.DBus.Error.PropertyReadOnly"));
        QCOMPARE(settings(), before);
        for (const QString& name : before.keys())
            QCOMPARE(changesOf(name), 0);

        // Each accepted write is announced once, under its own name.
        const QList<QStringList> accepted{
            {"IdleThresholdMinutes", "2.5"}, {"IdleRestrictionEnabled", "true"},
            {"EnableWebGPU", "false"},       {"JoinGlobalGroup", "false"},
            {"MemoryCapPercent", "60"},      {"YieldToOtherApps", "false"},
            {"MemoryHeadroomGB", "2"}};
        for (const QStringList& write : accepted) {
            QCOMPARE(ctl(QStringList{"set"} + write).status, 0);
            QCOMPARE(get(write[0]), write[1]);
            QTRY_COMPARE_WITH_TIMEOUT(changesOf(write[0]), 1, 5000);
        }
    }

    // MaxSandboxes goes the screen's way: stored, then the service restarts with it
    // after the debounce, not before.
    void maxSandboxesRestartsService() {
        if (processors() < 2)
            QSKIP("one processor: MaxSandboxes can only be 1");
        startApp();
        QTRY_COMPARE_WITH_TIMEOUT(m_app->services().size(), 1, 10000);
        const int current = get("MaxSandboxes").toInt();
        const int wanted = current > 1 ? current - 1 : 2;
        QCOMPARE(ctl({"set", "MaxSandboxes", QString::number(wanted)}).status, 0);
        QCOMPARE(get("MaxSandboxes"), QString::number(wanted));
        QTest::qWait(1500);
        QCOMPARE(m_app->services().size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_app->services().size(), 2, 10000);
        QCOMPARE(m_app->services().last().argv.value(0), QString("--max-sandboxes=%1").arg(wanted));
        QTRY_COMPARE_WITH_TIMEOUT(get("ServiceRunning"), QString("true"), 10000);
        QCOMPARE(changesOf("MaxSandboxes"), 1);
    }
};

QTEST_GUILESS_MAIN(TestE2EControl)
#include "test_e2e_control.moc"
