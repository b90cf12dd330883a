#include "controller/orphan_reaper.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vxr;
using Entries = QList<ProcessTableEntry>;

Q_DECLARE_METATYPE(vxr::ProcessTableEntry)

namespace {

const QString kBin = QStringLiteral("/opt/vxr/bin");
const QString kService = kBin + QStringLiteral("/vxr-worker/bin/vxr-worker");
const QString kEvaluator = kBin + QStringLiteral("/vxr-worker/bin/vxr-evaluator-start");
constexpr qint64 kUser = 1000;

ProcessTableEntry process(qint32 pid, qint32 ppid, QStringList arguments, QString executable = {},
                          qint64 uid = kUser) {
    if (executable.isEmpty())
        executable = arguments.value(0);
    return {pid, ppid, uid, std::move(arguments), std::move(executable)};
}

OrphanScope scope() {
    // 1 and 40 adopt orphans: 40 stands for a service manager above the application.
    return {WorkerPrograms{kService, kEvaluator}, kUser, {1, 40}};
}

// A fixture /proc entry as the kernel lays it out.
void writeProcess(const QString& root, qint32 pid, qint32 ppid, qint64 uid,
                  const QByteArray& cmdline, const QString& exe) {
    const QString dir = root + QStringLiteral("/%1").arg(pid);
    QVERIFY(QDir().mkpath(dir));
    QFile stat(dir + "/stat");
    QVERIFY(stat.open(QIODevice::WriteOnly));
    stat.write(QByteArray::number(pid) + " (a) b) S " + QByteArray::number(ppid) +
               " 1 1 0 -1 0 0 0 0 0 7 3 0 0 20 0 1 0 100 0 0\n");
    QFile status(dir + "/status");
    QVERIFY(status.open(QIODevice::WriteOnly));
    status.write("Name:\tx\nUmask:\t0022\nUid:\t" + QByteArray::number(uid) + "\t0\t0\t0\n");
    QFile cmd(dir + "/cmdline");
    QVERIFY(cmd.open(QIODevice::WriteOnly));
    cmd.write(cmdline);
    if (!exe.isEmpty())
        QVERIFY(QFile::link(exe, dir + "/exe"));
}

qint32 parentOf(qint32 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? fields[1].toInt() : -1;
}

} // namespace

class TestOrphanReaper : public QObject {
    Q_OBJECT
private slots:
    void readsTheProcessTableFromProc() {
        QCOMPARE(parseCmdline(QByteArray("a\0b c\0", 6)), (QStringList{"a", "b c"}));
        QCOMPARE(parseCmdline(QByteArray("a\0\0b", 4)), (QStringList{"a", "", "b"}));
        QCOMPARE(parseCmdline(QByteArray()), QStringList());

        QTemporaryDir dir;
        const QString root = dir.path();
        writeProcess(root, 1, 0, 0, QByteArray("/sbin/init\0", 11), "/sbin/init");
        writeProcess(root, 40, 1, kUser, QByteArray("systemd\0--user\0", 15), {});
        writeProcess(root, 501, 40, kUser,
                     kService.toUtf8() + QByteArray("\0--max-sandboxes=1\0", 19), kService);
        writeProcess(root, 7, 2, 0, QByteArray(), {}); // a kernel thread: no command line
        QVERIFY(QDir().mkpath(root + "/9"));           // ended while the table was read: no stat
        QVERIFY(QDir().mkpath(root + "/self"));

        const Entries table = readProcessTable(root);
        QCOMPARE(table, (Entries{{1, 0, 0, {"/sbin/init"}, "/sbin/init"},
                                 {7, 2, 0, {}, {}},
                                 {40, 1, kUser, {"systemd", "--user"}, {}},
                                 {501, 40, kUser, {kService, "--max-sandboxes=1"}, kService}}));
        QCOMPARE(table.last().command(), kService + " --max-sandboxes=1");
        QCOMPARE(ancestorsOf(501, table), (QList<qint32>{40, 1}));
        QCOMPARE(ancestorsOf(999, table), QList<qint32>{});
        // A table whose parents loop (pid reuse mid-read) still ends.
        QCOMPARE(ancestorsOf(5, Entries{{5, 6, 0, {}, {}}, {6, 5, 0, {}, {}}}).size(), 3);
    }

    void selectsOnlyOurOwnOrphans_data() {
        QTest::addColumn<ProcessTableEntry>("entry");
        QTest::addColumn<bool>("candidate");
        QTest::newRow("service adopted by init")
            << process(501, 1, {kService, "--max-sandboxes=1"}) << true;
        QTest::newRow("service adopted by a subreaper above us")
            << process(501, 40, {kService, "-f", "/tmp/p"}) << true;
        QTest::newRow("service with a live parent")
            << process(501, 4242, {kService, "-f", "/tmp/p"}) << false;
        QTest::newRow("another user's service")
            << process(501, 1, {kService, "-f"}, {}, kUser + 1) << false;
        QTest::newRow("service without arguments") << process(501, 1, {kService}) << false;
        QTest::newRow("evaluator start, no arguments") << process(502, 1, {kEvaluator}) << true;
        QTest::newRow("the user's own copy elsewhere")
            << process(503, 1, {"/home/u/my-own-copy/vxr-worker/bin/vxr-worker", "--x"}) << false;
        QTest::newRow("path only inside an argument")
            << process(504, 1, {"/usr/bin/less", kService + " --x"}, "/usr/bin/less") << false;
        QTest::newRow("renamed, known by its executable")
            << process(505, 1, {"worker", "--x"}, kService) << true;
        QTest::newRow("replaced on disk while running")
            << process(506, 1, {"worker", "--x"}, kService + " (deleted)") << true;
        QTest::newRow("a launcher naming it among its arguments")
            << process(507, 1, {"/usr/bin/launch", kService, "--x"}, "/usr/bin/launch") << false;
        QTest::newRow("unreadable executable, argument path")
            << process(509, 1, {kEvaluator}, QStringLiteral("-")) << true;
    }
    void selectsOnlyOurOwnOrphans() {
        QFETCH(ProcessTableEntry, entry);
        QFETCH(bool, candidate);
        QCOMPARE(orphanedWorkerCandidates({entry}, scope()).size(), candidate ? 1 : 0);
    }

    void signalsChildrenBeforeTheCandidate() {
        const Entries table{process(601, 501, {"child", "one"}),
                            process(700, 4242, {"other"}),
                            process(501, 1, {kService, "--port", "9080"}),
                            process(801, 601, {"grandchild"}),
                            process(602, 501, {"child", "two"}),
                            process(900, 1, {"/usr/bin/sleep"}),
                            process(502, 40, {kEvaluator})};
        QList<qint32> signalled;
        const QStringList lines = reapOrphans(table, orphanedWorkerCandidates(table, scope()),
                                              [&](qint32 pid) { signalled.append(pid); });
        QCOMPARE(signalled, (QList<qint32>{601, 602, 501, 502}));
        QCOMPARE(lines,
                 (QStringList{"reaped orphaned worker process 501: " + kService + " --port 9080",
                              "reaped orphaned worker process 502: " + kEvaluator}));
    }

    void messageShowsTheFirst80Characters_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("shownFromArgument");
        const int room = 80 - int(kService.size()) - 1;
        QTest::newRow("200 characters") << QString(200, u'x') << room;
        // An emoji is one character but two UTF-16 units; cutting between them would
        // write a broken line.
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        QTest::newRow("non-BMP at the cut")
            << QString(room - 1, u'y') + emoji + "tail" << room - 1 + 2;
    }
    void messageShowsTheFirst80Characters() {
        QFETCH(QString, argument);
        QFETCH(int, shownFromArgument);
        const Entries table{process(501, 1, {kService, argument})};
        const QStringList lines = reapOrphans(table, table, [](qint32) {});
        QCOMPARE(lines, QStringList{"reaped orphaned worker process 501: " + kService + u' ' +
                                    argument.left(shownFromArgument)});
    }

    // Real processes re-parented to a child subreaper, as under a systemd user manager:
    // this test process plays the manager, and a child of it plays the application.
    // The orphans run from a long install path; a user's copy of the same program
    // elsewhere is adopted alike but is not ours.
    void reapsRealOrphansAdoptedByAnAncestor() {
        QTemporaryDir dir;
        const QString binDir =
            dir.filePath(QStringLiteral("a-rather-long-install-path/") + QString(120, u'd'));
        const QString program = binDir + "/vxr-worker/bin/vxr-worker";
        const QString copy = dir.filePath("my-own-copy/vxr-worker/bin/vxr-worker");
        for (const QString& path : {program, copy}) {
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            // A copy: the kernel names a linked program by the link's target.
            QVERIFY(QFile::copy("/bin/sleep", path));
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner));
        }
        QCOMPARE(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);

        QProcess launcher; // starts both in the background and leaves at once
        launcher.start("/bin/sh",
                       {"-c", "\"$0\" 600 1 & echo $!; \"$1\" 600 1 & echo $!", program, copy});
        QVERIFY(launcher.waitForFinished(5000));
        for (const QByteArray& line : launcher.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                m_spawned.append(line.toInt());
        QCOMPARE(m_spawned.size(), 2);
        QTRY_COMPARE(parentOf(m_spawned.first()), qint32(::getpid()));

        QProcess application;
        application.start("/bin/sleep", {"30"});
        QVERIFY(application.waitForStarted(5000));

        OrphanReaperEnvironment environment;
        environment.binDir = binDir;
        QList<qint32> signalled;
        environment.sendTerminate = [&](qint32 pid) {
            signalled.append(pid);
            if (m_spawned.contains(pid))
                ::kill(pid, SIGTERM);
        };
        // From the adopter itself, its children are not orphans of an ancestor.
        environment.ownPid = qint32(::getpid());
        QCOMPARE(reapOrphanedWorkerProcesses(environment), QStringList());
        QVERIFY(signalled.isEmpty());

        environment.ownPid = qint32(application.processId());
        const QStringList lines = reapOrphanedWorkerProcesses(environment);
        const QString prefix =
            QStringLiteral("reaped orphaned worker process %1: ").arg(m_spawned.first());
        QCOMPARE(lines, QStringList{prefix + (program + " 600 1").left(80)});
        QCOMPARE(signalled, QList<qint32>{m_spawned.first()});
        QCOMPARE(parentOf(m_spawned.last()), qint32(::getpid())); // the copy runs on
        application.kill();
        application.waitForFinished(3000);
    }

    void cleanup() {
        // Adopted by this process, so it waits for them.
        for (qint32 target : std::as_const(m_spawned)) {
            ::kill(target, SIGKILL);
            ::waitpid(target, nullptr, 0);
        }
        m_spawned.clear();
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    }

private:
    QList<qint32> m_spawned;
};

QTEST_GUILESS_MAIN(TestOrphanReaper)
#include "test_orphan_reaper.moc"
