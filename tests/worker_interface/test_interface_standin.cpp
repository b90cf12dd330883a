// The controller's local interface against the stand-in worker programs: real
// processes, real HTTP, the one-shot commands, on a private port and home.
#include "controller/worker_controller.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace vxr;
using Kind = RegistrationStatus::Kind;

class TestInterfaceStandIn : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(m_root.isValid());
        QTcpServer probe; // a free port for the stand-in's service
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        m_port = probe.serverPort();
        probe.close();

        QFile config(m_root.filePath("sim.json"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(R"({"fetchSeconds": 0.2, "finishedSeconds": 0.5, "reserveMB": 0,
                        "throttle": {"schedule": ")" +
                     QByteArray(96, '0') + R"(", "timezone": "utc"}})");
        config.close();
        // The one-shot runs inherit our environment, so HOME is where the worker's
        // local storage lives for them and for the service.
        qputenv("HOME", m_root.filePath("home").toUtf8());
        qputenv("VXR_SIM_PORT", QByteArray::number(m_port));
        qputenv("VXR_SIM_CONFIG", config.fileName().toUtf8());
        qputenv("VXR_SIM_TIME_SCALE", "0.05");
        QDir().mkpath(m_root.filePath("home"));
    }

    void registerRestartRegisteredCycle() {
        ControllerEnvironment env;
        env.binDir = QStringLiteral(VXR_BINARY_DIR "/lib/vxr-worker");
        const QString base = QStringLiteral("http://localhost:%1").arg(m_port);
        env.statusURL = QUrl(base + "/hud/small-dark.html");
        env.runInfoURL = QUrl(base + "/worker/run-info");
        env.taskInfoURL = QUrl(base + "/worker/task-info");
        env.paths = AppPaths::underRoot(m_root.path());
        env.paths.homeDir = m_root.filePath("home");
        env.timing = Timing{}.scaled(0.05);
        env.processEnvironment = QProcessEnvironment::systemEnvironment();
        env.performanceCores = [] { return 2; };
        auto controller = std::make_unique<WorkerController>(env);

        QTRY_COMPARE_WITH_TIMEOUT(controller->workerURL(), std::optional(env.statusURL), 10000);
        QTRY_COMPARE(
            controller->throttleNotice(),
            std::optional(QStringLiteral("This worker is throttled: no computing all day.")));
        QTRY_COMPARE(controller->registrationStatus(), RegistrationStatus::notRegistered());
        QTRY_COMPARE(controller->earningsAccount(), std::optional(QString()));

        const QString key = QStringLiteral("0123456789abcdef0123456789abcdef");
        const QString owner =
            "0x" + QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex();
        controller->registerWorker(key);
        QTRY_COMPARE(controller->registrationStatus(), RegistrationStatus::registered(owner));
        QVERIFY(controller->isApplyingRegistration());
        QTRY_VERIFY_WITH_TIMEOUT(!controller->isApplyingRegistration(), 10000);
        // The restarted service reads the new registration: earnings go to the owner.
        QTRY_COMPARE_WITH_TIMEOUT(controller->earningsAccount(), std::optional(owner), 10000);

        controller->setManualOverride(true);
        QTRY_VERIFY_WITH_TIMEOUT(!controller->sandboxes().isEmpty(), 10000);
        for (const SandboxProgress& row : controller->sandboxes())
            QVERIFY(row.slicesFetched > 0 && row.percent >= 0 && row.percent <= 100);

        controller->resetWorkerId();
        QTRY_VERIFY_WITH_TIMEOUT(!controller->isResettingWorkerId(), 15000);
        // A new identity is no longer registered; the old storage was backed up.
        QTRY_COMPARE(controller->registrationStatus(), RegistrationStatus::notRegistered());
        const QStringList backups = QDir(m_root.filePath("home/.vxr/vxr-worker/backups"))
                                        .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(backups.size(), 1);
        QVERIFY(backups.first().startsWith("localStorage-"));
        QTRY_VERIFY_WITH_TIMEOUT(controller->serviceRunning() && controller->workerURL(), 10000);

        controller->shutdownForQuit();
        QTRY_VERIFY_WITH_TIMEOUT(!controller->serviceRunning() && !controller->evaluatorsRunning(),
                                 10000);
    }

private:
    QTemporaryDir m_root;
    quint16 m_port = 0;
};

QTEST_GUILESS_MAIN(TestInterfaceStandIn)
#include "test_interface_standin.moc"
