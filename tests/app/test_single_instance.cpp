// One instance per session bus: a second launch of the real program activates the
// first and exits 0; the "quit" action runs the quit path, which asks the worker
// service to stop. Everything runs on a private dbus-daemon.

#include "app/application_service.h"
#include "platform/instance_lock.h"
#include "platform/private_temp_dir.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;

class TestSingleInstance : public QObject {
    Q_OBJECT

private:
    QProcess m_daemon;
    QString m_address;
    QTemporaryDir m_home;

    QProcessEnvironment appEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("TMPDIR"), m_home.path());
        return env;
    }

    // Live processes whose command line names `path`.
    static QList<qint64> processesRunning(const QString& path) {
        QList<qint64> found;
        const QByteArray needle = QFile::encodeName(path);
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString& entry : entries) {
            bool isPid = false;
            const qint64 pid = entry.toLongLong(&isPid);
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
            if (isPid && cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(needle))
                found.append(pid);
        }
        return found;
    }

    static QDBusMessage action(const QString& name) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(QString::fromLatin1(ApplicationService::serviceName),
                                           QString::fromLatin1(ApplicationService::objectPath),
                                           QString::fromLatin1(ApplicationService::interfaceName),
                                           QStringLiteral("ActivateAction"));
        call << name << QVariantList{} << QVariantMap{};
        return call;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        QVERIFY2(m_daemon.waitForStarted(5000), "dbus-daemon is needed");
        QTRY_VERIFY(m_daemon.canReadLine());
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
    }

    void cleanupTestCase() {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

    void secondLaunchActivatesFirst() {
        QDBusConnection bus = QDBusConnection::connectToBus(m_address, QStringLiteral("first"));
        QVERIFY(bus.isConnected());
        {
            ApplicationService first(bus);
            QVERIFY(first.claim());
            QSignalSpy activated(&first, &ApplicationService::activateRequested);
            QSignalSpy actions(&first, &ApplicationService::actionRequested);

            // Another client of the bus cannot take the name.
            QDBusConnection other =
                QDBusConnection::connectToBus(m_address, QStringLiteral("other"));
            {
                ApplicationService second(other);
                QVERIFY(!second.claim());
            }

            QProcess launch;
            launch.setProcessEnvironment(appEnvironment());
            launch.start(QStringLiteral(VXR_BINARY_DIR "/bin/VXRWorker"), {});
            QVERIFY(launch.waitForStarted(5000));
            QTRY_VERIFY_WITH_TIMEOUT(launch.state() == QProcess::NotRunning, 15000);
            QCOMPARE(launch.exitStatus(), QProcess::NormalExit);
            QCOMPARE(launch.exitCode(), 0);
            QCOMPARE(activated.size(), 1);

            other.asyncCall(action(QStringLiteral("toggle")));
            other.asyncCall(action(QStringLiteral("no-such-action")));
            other.asyncCall(action(QStringLiteral("quit")));
            QTRY_COMPARE(actions.size(), 2);
            QCOMPARE(actions.at(0).at(0).toString(), "toggle");
            QCOMPARE(actions.at(1).at(0).toString(), "quit");
            QDBusConnection::disconnectFromBus(QStringLiteral("other"));
        }
        // Released with the object: the next instance can own it.
        QTRY_VERIFY(!bus.interface()->isServiceRegistered(
            QString::fromLatin1(ApplicationService::serviceName)));
        QDBusConnection::disconnectFromBus(QStringLiteral("first"));
    }

    // Without a session bus the lock in the private directory is the rule: a second
    // launch leaves at once, and the lock dies with its holder, however it ends.
    void withoutABusTheLockKeepsOneInstance() {
        QProcessEnvironment env = appEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + m_home.filePath(QStringLiteral("no-bus")));
        const QString lockPath =
            privateTempDirectory(m_home.path()) + QLatin1String(instanceLockName);
        const auto launch = [&env](QProcess& process) {
            process.setProcessEnvironment(env);
            process.start(QStringLiteral(VXR_BINARY_DIR "/bin/VXRWorker"), {});
            return process.waitForStarted(5000);
        };

        QProcess first;
        QVERIFY(launch(first));
        QTRY_VERIFY_WITH_TIMEOUT(InstanceLock(lockPath).heldElsewhere(), 15000);

        QProcess second;
        QVERIFY(launch(second));
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 15000);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(second.readAllStandardOutput().contains("VXR Worker is already running"));
        QCOMPARE(first.state(), QProcess::Running);

        first.kill();
        QVERIFY(first.waitForFinished(5000));
        QVERIFY(InstanceLock(lockPath).isHeld());
    }

    // The real program in an install-like layout with a worker service that records
    // how it was stopped; "quit" over the bus must end the program and SIGTERM it.
    void quitActionStopsTheService() {
        QTemporaryDir root;
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("bin"))));
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("lib/vxr-worker"))));
        const QString program = root.filePath(QStringLiteral("bin/VXRWorker"));
        QVERIFY(QFile::copy(QStringLiteral(VXR_BINARY_DIR "/bin/VXRWorker"), program));
        const QString marker = root.filePath(QStringLiteral("service-stopped"));
        const QString started = root.filePath(QStringLiteral("service-started"));
        const QString script = root.filePath(QStringLiteral("lib/vxr-worker/vxr-worker.sh"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // One-shot questions (--show=..., --register=..., --reset) get a quick "no": the
        // program lets one-shots finish rather than end them, so a looping one would
        // outlive the test.
        file.write(QStringLiteral("#!/bin/sh\n"
                                  "case \"$1\" in --show=*|--register=*|--reset) exit 1 ;; esac\n"
                                  "trap 'echo TERM > \"%1\"; exit 0' TERM\n"
                                  "touch \"%2\"\n"
                                  "while true; do sleep 0.1 & wait $!; done\n")
                       .arg(marker, started)
                       .toUtf8());
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        QProcess app;
        app.setProcessEnvironment(appEnvironment());
        app.start(program, {});
        QVERIFY(app.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 15000);

        QDBusConnection bus = QDBusConnection::connectToBus(m_address, QStringLiteral("client"));
        QTRY_VERIFY(bus.interface()->isServiceRegistered(
            QString::fromLatin1(ApplicationService::serviceName)));
        bus.asyncCall(action(QStringLiteral("quit")));
        QTRY_VERIFY_WITH_TIMEOUT(app.state() == QProcess::NotRunning, 15000);
        QCOMPARE(app.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(processesRunning(script).isEmpty(), 5000);
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
