#include "controller/orphan_reaper.h"
#include "core/diagnostics.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

using namespace vxr;
using Entries = QList<ProcessListingEntry>;

namespace {

const QString kService = QStringLiteral("/opt/w/vxr-worker/bin/vxr-worker --port 9080");

// A process counts as gone once it no longer exists or is a zombie awaiting its reaper.
bool processGone(qint32 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) == "Z";
}

QList<qint32> childrenOf(qint32 pid) {
    QFile file(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    QList<qint32> pids;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& piece : file.readAll().split(' '))
            if (!piece.trimmed().isEmpty())
                pids.append(piece.trimmed().toInt());
    return pids;
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
    void parsesListingLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Entries>("expected");
        QTest::newRow("leading blanks") << "  501     1 " + kService << Entries{{501, 1, kService}};
        QTest::newRow("command keeps inner and extra leading blanks")
            << "7 1  two  blanks " << Entries{{7, 1, " two  blanks "}};
        QTest::newRow("empty lines dropped, order kept") << "\n1 0 init\n\n  42 1 a b\n"
                                                         << Entries{{1, 0, "init"}, {42, 1, "a b"}};
        QTest::newRow("signed ids") << "-5 +1 x" << Entries{{-5, 1, "x"}};
        QTest::newRow("no command") << "501 1\n501 1 \n501\n" << Entries{};
        QTest::newRow("not decimal") << "5a 1 x\n0x5 1 x\n5 1.0 x\n 1 x" << Entries{};
        QTest::newRow("beyond 32 bits")
            << "2147483648 1 x\n2147483647 1 y" << Entries{{2147483647, 1, "y"}};
        QTest::newRow("a tab is not a blank") << "5\t1 x\n6 1 \tx" << Entries{{6, 1, "\tx"}};
    }
    void parsesListingLines() {
        QFETCH(QString, text);
        QFETCH(Entries, expected);
        QCOMPARE(parseProcessListing(text), expected);
    }

    void selectsOrphanedWorkers_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("candidate");
        QTest::newRow("service adopted by init") << "501 1 " + kService << true;
        QTest::newRow("service with a live parent") << "501 4242 " + kService << false;
        QTest::newRow("service without arguments")
            << "501 1 /opt/w/vxr-worker/bin/vxr-worker" << false;
        QTest::newRow("evaluator start, no arguments")
            << "502 1 /opt/w/vxr-worker/bin/vxr-evaluator-start" << true;
        QTest::newRow("case differs") << "503 1 /opt/w/VXR-worker/bin/vxr-worker -x" << false;
        QTest::newRow("unrelated orphan") << "504 1 /usr/bin/sleep 30" << false;
    }
    void selectsOrphanedWorkers() {
        QFETCH(QString, line);
        QFETCH(bool, candidate);
        QCOMPARE(orphanedWorkerCandidates(parseProcessListing(line)).size(), candidate ? 1 : 0);
    }

    void signalsChildrenBeforeTheCandidate() {
        const Entries listing{{601, 501, "child one"},
                              {700, 4242, "other"},
                              {501, 1, kService},
                              {801, 601, "grandchild"},
                              {602, 501, "child two"},
                              {900, 1, "/usr/bin/sleep"},
                              {502, 1, "x/vxr-worker/bin/vxr-evaluator-start"}};
        QList<qint32> signalled;
        DiagnosticCapture capture;
        reapOrphans(listing, [&](qint32 pid) { signalled.append(pid); });
        QCOMPARE(signalled, (QList<qint32>{601, 602, 501, 502}));
        QCOMPARE(capture.lines(), (QStringList{"reaped orphaned worker process 501: " + kService,
                                               "reaped orphaned worker process 502: "
                                               "x/vxr-worker/bin/vxr-evaluator-start"}));
    }

    void messageShowsTheFirst80Characters_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("shown");
        const QString longCommand = kService + QString(200 - kService.size(), u'x');
        QTest::newRow("200 characters") << longCommand << longCommand.left(80);
        // An emoji is one character but two UTF-16 units; cutting between them would
        // write a broken line.
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QString wide = kService + QString(79 - kService.size(), u'y') + emoji + "tail";
        QTest::newRow("non-BMP at the cut") << wide << wide.left(wide.size() - 4);
    }
    void messageShowsTheFirst80Characters() {
        QFETCH(QString, command);
        QFETCH(QString, shown);
        QCOMPARE(command.size() >= 80, true);
        DiagnosticCapture capture;
        reapOrphans({{501, 1, command}}, [](qint32) {});
        QCOMPARE(capture.lines(), QStringList{"reaped orphaned worker process 501: " + shown});
    }

    void runsTheListingProgram_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QList<qint32>>("signalled");
        QTest::newRow("listing") << QByteArray("printf '  501     1 /x/vxr-worker/bin/vxr-worker "
                                               "-a\\n  601   501 child\\n'\n")
                                 << QList<qint32>{601, 501};
        QTest::newRow("undecodable output counts as empty")
            << QByteArray("printf '501 1 /x/vxr-worker/bin/vxr-worker -a \\377\\n'\n")
            << QList<qint32>{};
        QTest::newRow("failing ps with a partial listing is still read")
            << QByteArray("echo '501 1 /x/vxr-worker/bin/vxr-worker -a'; exit 3\n")
            << QList<qint32>{501};
    }
    void runsTheListingProgram() {
        QFETCH(QByteArray, script);
        QFETCH(QList<qint32>, signalled);
        QTemporaryDir dir;
        const QString ps = dir.filePath("ps");
        QFile file(ps);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n[ \"$1 $2\" = '-axo pid=,ppid=,command=' ] || exit 9\n" + script);
        file.close();
        file.setPermissions(file.permissions() | QFile::ExeOwner);

        QList<qint32> sent;
        OrphanReaperEnvironment environment;
        environment.psProgram = ps;
        environment.sendTerminate = [&](qint32 pid) { sent.append(pid); };
        DiagnosticCapture capture;
        reapOrphanedWorkerProcesses(environment);
        QCOMPARE(sent, signalled);
        QCOMPARE(capture.lines().size(), signalled.isEmpty() ? 0 : 1);
    }

    void missingOrHungListingReapsNothing() {
        QTemporaryDir dir;
        const QString hung = dir.filePath("hung-ps");
        QFile file(hung);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho '501 1 /x/vxr-worker/bin/vxr-worker -a'\nexec sleep 30\n");
        file.close();
        file.setPermissions(file.permissions() | QFile::ExeOwner);

        QList<qint32> sent;
        OrphanReaperEnvironment environment;
        environment.sendTerminate = [&](qint32 pid) { sent.append(pid); };
        DiagnosticCapture capture;

        environment.psProgram = dir.filePath("no-such-ps");
        reapOrphanedWorkerProcesses(environment);

        environment.psProgram = hung;
        environment.listingTimeoutMs = 300;
        QElapsedTimer timer;
        timer.start();
        reapOrphanedWorkerProcesses(environment);
        QVERIFY2(timer.elapsed() < 3000, "a hung listing must not hold the caller");
        QVERIFY(sent.isEmpty());
        QVERIFY(capture.lines().isEmpty());
    }

    // Real processes: a worker-looking parent with two sleeping children, adopted by
    // init through a detached start. Only our own processes are really signalled,
    // so orphans of other programs on this machine are left alone.
    void reapsRealOrphanAndItsChildren() {
        QTemporaryDir dir;
        const QString fakeProgram = dir.filePath("vxr-worker/bin/vxr-worker");
        qint64 pid = 0;
        QVERIFY(QProcess::startDetached(
            "/bin/bash",
            {"-c", "exec -a '" + fakeProgram + "' /bin/bash -c 'sleep 30 & sleep 30 & wait'"},
            QString(), &pid));
        const qint32 candidate = qint32(pid);
        m_spawned = {candidate};
        QTRY_COMPARE(childrenOf(candidate).size(), 2);
        const QList<qint32> children = childrenOf(candidate);
        m_spawned += children;
        if (parentOf(candidate) != 1)
            QSKIP("detached processes are adopted by a subreaper here, not by process 1");

        QList<qint32> ours;
        OrphanReaperEnvironment environment;
        environment.sendTerminate = [&](qint32 target) {
            if (m_spawned.contains(target)) {
                ours.append(target);
                ::kill(target, SIGTERM);
            }
        };
        DiagnosticCapture capture;
        reapOrphanedWorkerProcesses(environment);

        QCOMPARE(ours.size(), 3);
        QCOMPARE(ours.last(), candidate);
        QCOMPARE(QSet<qint32>(ours.begin(), ours.begin() + 2),
                 QSet<qint32>(children.begin(), children.end()));
        QVERIFY(capture.lines().contains(
            QStringLiteral("reaped orphaned worker process %1: %2")
                .arg(candidate)
                .arg((fakeProgram + " -c sleep 30 & sleep 30 & wait").left(80))));
        for (qint32 target : std::as_const(m_spawned))
            QTRY_VERIFY(processGone(target));
    }

    void cleanup() {
        for (qint32 target : std::as_const(m_spawned))
            if (!processGone(target))
                ::kill(target, SIGKILL);
        m_spawned.clear();
    }

private:
    QList<qint32> m_spawned;
};

QTEST_GUILESS_MAIN(TestOrphanReaper)
#include "test_orphan_reaper.moc"
