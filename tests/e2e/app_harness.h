#pragma once

// Runs the real VXRWorker program the way a user's session would: offscreen, with
// its own HOME, XDG directories and TMPDIR, on a private session bus, driven by the
// org.freedesktop.Application actions a script would send. Everything it starts, and
// everything those programs start, is ended by pid when the harness goes away, so a
// failed check leaves nothing running.

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <functional>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

namespace e2e {

inline constexpr char kServiceName[] = "network.quorbel.vxrworker";
inline constexpr char kObjectPath[] = "/network/quorbel/vxrworker";
inline constexpr char kInterface[] = "org.freedesktop.Application";

inline QString buildDir() {
    // Another build (an installed tree, a sanitizer build) can be tested with the same
    // executables by pointing this at it.
    const QString other = qEnvironmentVariable("VXR_E2E_BUILD_DIR");
    return other.isEmpty() ? QStringLiteral(VXR_BINARY_DIR) : other;
}

inline QString builtProgram() {
    return buildDir() + QStringLiteral("/bin/VXRWorker");
}
inline QString builtWorkerDir() {
    return buildDir() + QStringLiteral("/lib/vxr-worker");
}

// Alive and not a zombie waiting for its parent.
inline bool alive(qint64 pid) {
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) != "Z";
}

inline QByteArray procFile(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QList<qint64> allPids() {
    QList<qint64> pids;
    const QStringList names =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool ok = false;
        const qint64 pid = name.toLongLong(&ok);
        if (ok)
            pids.append(pid);
    }
    return pids;
}

// Resident set size in KiB, or -1 once the process is gone.
inline qint64 rssKiB(qint64 pid) {
    for (const QByteArray& line : procFile(pid, "status").split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

inline void endWithTestProcess(QProcess& process, int signal) {
    process.setChildProcessModifier([signal] { ::prctl(PR_SET_PDEATHSIG, signal); });
}

inline bool copyTree(const QString& from, const QString& to) {
    if (!QDir().mkpath(to))
        return false;
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        const QFileInfo info = it.fileInfo();
        if (info.isDir() ? !QDir().mkpath(target) : !QFile::copy(path, target))
            return false;
        if (!info.isDir())
            QFile::setPermissions(target, info.permissions());
    }
    return true;
}

// A dbus-daemon of our own; it ends with the test process even after a crash.
class SessionBus {
public:
    SessionBus() = default;
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;
    ~SessionBus() { stop(); }

    bool start() {
        endWithTestProcess(m_daemon, SIGTERM);
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!m_daemon.canReadLine() && clock.elapsed() < 5000)
            m_daemon.waitForReadyRead(100);
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        if (m_address.isEmpty())
            return false;
        m_connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(m_address, QStringLiteral("e2e-test-client")));
        return m_connection->isConnected();
    }

    void stop() {
        if (m_connection) {
            m_connection.reset();
            QDBusConnection::disconnectFromBus(QStringLiteral("e2e-test-client"));
        }
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            if (!m_daemon.waitForFinished(3000))
                m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }

    [[nodiscard]] QString address() const { return m_address; }
    [[nodiscard]] QDBusConnection& connection() { return *m_connection; }

    [[nodiscard]] bool appRegistered() {
        return m_connection &&
               m_connection->interface()->isServiceRegistered(QLatin1String(kServiceName));
    }

    // org.freedesktop.Application.ActivateAction(name, [], {}); true once it answered.
    bool action(const QString& name, int timeoutMs = 5000) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QLatin1String(kServiceName), QLatin1String(kObjectPath), QLatin1String(kInterface),
            QStringLiteral("ActivateAction"));
        call << name << QVariantList{} << QVariantMap{};
        return m_connection->call(call, QDBus::Block, timeoutMs).type() ==
               QDBusMessage::ReplyMessage;
    }

private:
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_connection;
};

// One start of either stand-in program, as it recorded itself.
struct Invocation {
    QString program; // "worker" or "evaluator"
    qint64 pid = 0;
    qint64 ppid = 0;
    QStringList argv;
    QJsonObject env;      // NODE_OPTIONS and VXR_*
    qint64 seenAtMs = -1; // harness clock when first read, -1 when not tracked

    // The long-running programs, not the one-shot questions asked of the service.
    [[nodiscard]] bool isService() const {
        return program == QLatin1String("worker") && argv.size() > 1;
    }
    [[nodiscard]] bool isEvaluator() const { return program == QLatin1String("evaluator"); }
};

// The application's private world and the running program.
class AppHarness {
public:
    AppHarness() {
        for (const char* dir : {"home", "config", "data", "tmp", "record", "runtime"})
            QDir().mkpath(m_root.filePath(QLatin1String(dir)));
        QFile::setPermissions(m_root.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_clock.start();
    }
    AppHarness(const AppHarness&) = delete;
    AppHarness& operator=(const AppHarness&) = delete;
    ~AppHarness() { endEverything(); }

    [[nodiscard]] bool isValid() const { return m_root.isValid(); }
    [[nodiscard]] QString root() const { return m_root.path(); }
    [[nodiscard]] QString path(const QString& relative) const { return m_root.filePath(relative); }
    [[nodiscard]] QString home() const { return path(QStringLiteral("home")); }
    [[nodiscard]] QString tmpDir() const { return path(QStringLiteral("tmp")); }
    [[nodiscard]] QString recordDir() const { return path(QStringLiteral("record")); }
    [[nodiscard]] QString privateTemp() const {
        return tmpDir() + QStringLiteral("/vxr-worker-%1").arg(::geteuid());
    }
    [[nodiscard]] QString processLog() const {
        return privateTemp() + QStringLiteral("/vxrwork-processes.log");
    }
    [[nodiscard]] QString limitFile() const {
        return privateTemp() + QStringLiteral("/vxr-worker-memory-limit.json");
    }
    [[nodiscard]] QString appSupportDir() const { return path(QStringLiteral("data/VXR Worker")); }
    [[nodiscard]] QString historyFile() const {
        return appSupportDir() + QStringLiteral("/job-history.json");
    }
    [[nodiscard]] QString settingsFile() const {
        return path(QStringLiteral("config/network.quorbel.vxrworker.json"));
    }

    void setEnv(const QString& name, const QString& value) { m_extraEnv.insert(name, value); }

    [[nodiscard]] QProcessEnvironment environment(const QString& busAddress) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : env.keys()) {
            if (name.startsWith(QLatin1String("VXR_")) || name == QLatin1String("DISPLAY") ||
                name == QLatin1String("WAYLAND_DISPLAY") || name.startsWith(QLatin1String("XDG_")))
                env.remove(name);
        }
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        env.insert(QStringLiteral("HOME"), home());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        env.insert(QStringLiteral("TMPDIR"), tmpDir());
        env.insert(QStringLiteral("VXR_SIM_RECORD"), recordDir());
        env.insert(QStringLiteral("VXR_SIM_TIME_SCALE"), QStringLiteral("0.1"));
        for (auto it = m_extraEnv.cbegin(); it != m_extraEnv.cend(); ++it)
            env.insert(it.key(), it.value());
        return env;
    }

    // Starts the program (the built one unless given) on the bus; false if it did not start.
    bool start(SessionBus& bus, const QString& program = builtProgram(),
               const QStringList& arguments = {}) {
        m_app = std::make_unique<QProcess>();
        m_app->setProcessChannelMode(QProcess::MergedChannels);
        m_app->setProcessEnvironment(environment(bus.address()));
        m_app->setStandardInputFile(QProcess::nullDevice());
        // A test that dies takes the application down the way a logout would.
        endWithTestProcess(*m_app, SIGTERM);
        m_output.clear();
        m_app->start(program, arguments);
        return m_app->waitForStarted(10000);
    }

    // A further launch in the same world; returns its exit code, or -1 if it did not end.
    int launchAgain(SessionBus& bus, int timeoutMs, QByteArray* output = nullptr) {
        QProcess second;
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.setProcessEnvironment(environment(bus.address()));
        endWithTestProcess(second, SIGKILL);
        second.start(builtProgram(), {});
        const bool ended = second.waitForStarted(10000) && second.waitForFinished(timeoutMs);
        if (output)
            *output = second.readAll();
        if (!ended) {
            second.kill();
            second.waitForFinished(3000);
            return -1;
        }
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    }

    [[nodiscard]] qint64 pid() const { return m_app ? m_app->processId() : 0; }
    [[nodiscard]] bool running() const { return m_app && m_app->state() != QProcess::NotRunning; }
    [[nodiscard]] int exitCode() const { return m_app->exitCode(); }
    [[nodiscard]] QProcess::ExitStatus exitStatus() const { return m_app->exitStatus(); }

    // Everything the program wrote to stdout and stderr so far.
    QByteArray output() {
        if (m_app)
            m_output += m_app->readAll();
        return m_output;
    }

    void signal(int number) const {
        if (pid() > 0)
            ::kill(pid_t(pid()), number);
    }

    // Waits for the program to end (after a quit or a signal); forgets the process.
    bool waitForExit(int timeoutMs) {
        if (!m_app)
            return true;
        const bool ended =
            m_app->state() == QProcess::NotRunning || m_app->waitForFinished(timeoutMs);
        output();
        return ended;
    }

    // Every start of the stand-ins recorded so far, in order.
    QList<Invocation> invocations() {
        QFile file(recordDir() + QStringLiteral("/invocations.jsonl"));
        if (!file.open(QIODevice::ReadOnly))
            return m_invocations;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (qsizetype i = m_invocations.size(); i < lines.size(); ++i) {
            const QJsonObject o = QJsonDocument::fromJson(lines[i]).object();
            if (o.isEmpty())
                break; // a line still being written
            Invocation inv;
            inv.program = o.value(QLatin1String("program")).toString();
            inv.pid = o.value(QLatin1String("pid")).toInteger();
            inv.ppid = o.value(QLatin1String("ppid")).toInteger();
            for (const QJsonValue& a : o.value(QLatin1String("argv")).toArray())
                inv.argv.append(a.toString());
            inv.env = o.value(QLatin1String("env")).toObject();
            inv.seenAtMs = m_clock.elapsed();
            m_invocations.append(inv);
        }
        return m_invocations;
    }

    QList<Invocation> services() {
        QList<Invocation> result;
        for (const Invocation& inv : invocations())
            if (inv.isService())
                result.append(inv);
        return result;
    }

    QList<Invocation> evaluators() {
        QList<Invocation> result;
        for (const Invocation& inv : invocations())
            if (inv.isEvaluator())
                result.append(inv);
        return result;
    }

    [[nodiscard]] QByteArray read(const QString& file) const {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Processes that carry this world's HOME: whatever the program started, at any depth,
    // also after they were orphaned.
    [[nodiscard]] QList<qint64> processesOfThisWorld() const {
        const QByteArray marker = "HOME=" + QFile::encodeName(home());
        QList<qint64> found;
        for (qint64 pid : allPids()) {
            if (pid == ::getpid() || !alive(pid))
                continue;
            for (const QByteArray& entry : procFile(pid, "environ").split('\0')) {
                if (entry == marker) {
                    found.append(pid);
                    break;
                }
            }
        }
        return found;
    }

    // For a failed test: what the program said last, and its process log.
    void report() {
        qInfo("--- program output (last 3000 bytes) ---\n%s", output().right(3000).constData());
        qInfo("--- process log (last 2000 bytes) ---\n%s",
              read(processLog()).right(2000).constData());
    }

    // The program asked politely, then anything of this world still alive killed.
    void endEverything() {
        if (running()) {
            signal(SIGTERM);
            if (!m_app->waitForFinished(5000)) {
                m_app->kill();
                m_app->waitForFinished(3000);
            }
        }
        for (int round = 0; round < 3; ++round) {
            const QList<qint64> left = processesOfThisWorld();
            if (left.isEmpty())
                break;
            for (qint64 pid : left)
                ::kill(pid_t(pid), SIGKILL);
            QThread::msleep(100);
        }
        m_app.reset();
    }

private:
    QTemporaryDir m_root;
    QMap<QString, QString> m_extraEnv;
    std::unique_ptr<QProcess> m_app;
    QByteArray m_output;
    QList<Invocation> m_invocations;
    QElapsedTimer m_clock;
};

// Every end-to-end test case needs the built program and a private session bus.
inline void requireProgramAndBus(SessionBus& bus) {
    QVERIFY2(QFileInfo::exists(builtProgram()), "build VXRWorker first");
    QVERIFY2(bus.start(), "dbus-daemon is needed");
}

// After a test case: its context reported if it failed, everything of its world ended,
// `beforeRemoval` run while the world's files still exist, and the bus name released.
inline void endWorld(std::unique_ptr<AppHarness>& app, SessionBus& bus,
                     const std::function<void()>& beforeRemoval = {}) {
    if (QTest::currentTestFailed())
        app->report();
    app->endEverything();
    if (beforeRemoval)
        beforeRemoval();
    app.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!bus.appRegistered(), 5000);
}

// Lines of text containing a fragment, for readable failure messages.
inline QList<QByteArray> linesWith(const QByteArray& text, const QByteArray& fragment) {
    QList<QByteArray> found;
    for (const QByteArray& line : text.split('\n'))
        if (line.contains(fragment))
            found.append(line);
    return found;
}

// An install-like copy of the program and the worker directory under root, as
// <root>/bin/VXRWorker and <root>/lib/vxr-worker, so a test can change the worker
// programs the application finds beside it.
inline QString installCopy(const QString& root) {
    if (!QDir().mkpath(root + QStringLiteral("/bin")))
        return {};
    const QString program = root + QStringLiteral("/bin/VXRWorker");
    if (!QFile::copy(builtProgram(), program) ||
        !copyTree(builtWorkerDir(), root + QStringLiteral("/lib/vxr-worker")))
        return {};
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return program;
}

} // namespace e2e
