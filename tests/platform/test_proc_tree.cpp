#include "platform/proc/host_memory.h"
#include "platform/proc/process_tree.h"

#include <QProcess>
#include <QTest>

#include <QScopeGuard>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>

using namespace vxr;

namespace {

QString fixture(const char* tree) {
    return QStringLiteral(VXR_TEST_DATA_DIR "/proc/") + QLatin1String(tree);
}

quint64 ticksNS(quint64 ticks) {
    return ticks * 1'000'000'000ULL / quint64(::sysconf(_SC_CLK_TCK));
}

// The fixture trees hold the same processes: 100 (threads 100 and 150) with children
// 101 (comm "a) (b c"), 102 and 103 (no VmRSS, like a zombie); 104 under 101 and 102;
// 300 exited, leaving 301; 500/501 unrelated.
ProcessTreeSnapshot expectedTree() {
    return {
        {100, {4000 * 1024, ticksNS(150), 3100 * 1024, 3100 * 1024}},
        {101, {2000 * 1024, ticksNS(30), 1524 * 1024, 1500 * 1024}}, // 24 KiB swapped
        {102, {1000 * 1024, ticksNS(300), 800 * 1024, 800 * 1024}},
        {103, {0, 0, 0, 0}},
        {104, {512 * 1024, ticksNS(10), 256 * 1024, 256 * 1024}},
        {301, {100 * 1024, ticksNS(2), 50 * 1024, 50 * 1024}},
    };
}

} // namespace

Q_DECLARE_METATYPE(vxr::TreeWalk)

class TestProcTree : public QObject {
    Q_OBJECT
private slots:
    void parseStat_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("ppid");
        QTest::addColumn<quint64>("ticks");
        const QByteArray tail = " 0 -1 4194560 100 0 0 0 7 5 0 0 20 0 1 0 5000\n";
        QTest::newRow("plain") << "42 (sleep) S 7 42 42" + tail << true << 7 << quint64(12);
        QTest::newRow("parentheses and blanks in comm")
            << "42 (a) (b c) R 9 42 42" + tail << true << 9 << quint64(12);
        QTest::newRow("comm ending in paren")
            << "42 (x)) S 3 42 42" + tail << true << 3 << quint64(12);
        QTest::newRow("cut before stime")
            << QByteArray("42 (sleep) S 7 42 42 0 -1 4 1 0 0 0 7") << false << 0 << quint64(0);
        QTest::newRow("no parentheses") << "42 sleep S 7 42 42" + tail << false << 0 << quint64(0);
        QTest::newRow("ppid not a number")
            << "42 (sleep) S x7 42 42" + tail << false << 0 << quint64(0);
        QTest::newRow("empty") << QByteArray() << false << 0 << quint64(0);
    }
    void parseStat() {
        QFETCH(QByteArray, line);
        QFETCH(bool, valid);
        const auto stat = parseProcStat(std::string_view(line.constData(), size_t(line.size())));
        QCOMPARE(stat.has_value(), valid);
        if (valid) {
            QFETCH(int, ppid);
            QFETCH(quint64, ticks);
            QCOMPARE(stat->ppid, ppid);
            QCOMPARE(stat->cpuTicks, ticks);
        }
    }

    void snapshotOfFixtureTree_data() {
        QTest::addColumn<QString>("procRoot");
        QTest::addColumn<TreeWalk>("walk");
        QTest::newRow("children links") << fixture("children") << TreeWalk::childrenLinks;
        QTest::newRow("children links found by default")
            << fixture("children") << TreeWalk::automatic;
        QTest::newRow("table scan") << fixture("scan") << TreeWalk::tableScan;
        QTest::newRow("scan when the kernel has no links")
            << fixture("scan") << TreeWalk::automatic;
    }
    void snapshotOfFixtureTree() {
        QFETCH(QString, procRoot);
        QFETCH(TreeWalk, walk);
        ProcessTreeProbe probe(procRoot);
        // 100 twice, 104 reachable from 101 and from 102, 300 gone.
        QCOMPARE(probe.snapshot({100, 300, 100}, walk), expectedTree());
        // Again, from the cached parent table in the scan case.
        QCOMPARE(probe.snapshot({300, 100}, walk), expectedTree());
        QCOMPARE(probe.snapshot({104}, walk), (ProcessTreeSnapshot{{104, expectedTree()[104]}}));
        QCOMPARE(probe.snapshot({}, walk), ProcessTreeSnapshot{});
        QCOMPARE(probe.snapshot({77777}, walk), ProcessTreeSnapshot{});
    }

    void emptyRootsReadNothing() {
        // A /proc that cannot be read would still answer empty; the point is that the
        // walk never starts, so even an unusable root is fine.
        QCOMPARE(processTreeSnapshot({}, QStringLiteral("/nonexistent")), ProcessTreeSnapshot{});
        QCOMPARE(processTreeSnapshot({1}, QStringLiteral("/nonexistent")), ProcessTreeSnapshot{});
    }

    void hostMemory() {
        const auto memory = readHostMemory(fixture("children"));
        QVERIFY(memory);
        QCOMPARE(memory->totalBytes, quint64(16) << 30);
        QCOMPARE(memory->usedBytes, quint64(10) << 30);
        QCOMPARE(parseMeminfo("MemTotal: 100 kB\nMemFree: 5 kB\n"), std::nullopt);
        QCOMPARE(parseMeminfo("MemTotal: 100 kB\nMemAvailable: 200 kB\n"), (HostMemory{102400, 0}));
        QVERIFY(readHostMemory());
    }

    // A real tree: sh -> (sleep, sh -> sleep), measured through whichever walk this
    // kernel supports and through the table scan, which must agree.
    void snapshotOfRealTree() {
        QProcess shell;
        shell.start(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("sleep 20 & sh -c 'sleep 20 & wait' & wait")});
        QVERIFY(shell.waitForStarted());
        const qint32 root = qint32(shell.processId());
        ProcessTreeProbe probe;
        ProcessTreeSnapshot tree;
        QTRY_VERIFY_WITH_TIMEOUT((tree = probe.snapshot({root})).size() == 4, 5000);
        const auto cleanUp = qScopeGuard([&] {
            for (auto it = tree.constBegin(); it != tree.constEnd(); ++it) {
                if (it.key() != root)
                    ::kill(it.key(), SIGTERM);
            }
            shell.terminate();
            shell.waitForFinished(5000);
        });
        QVERIFY(tree.contains(root));
        QVERIFY(!tree.contains(qint32(::getpid())));
        const auto scanned = probe.snapshot({root, root}, TreeWalk::tableScan);
        QCOMPARE(QList<qint32>(scanned.keyBegin(), scanned.keyEnd()).size(), 4);
        for (auto it = tree.constBegin(); it != tree.constEnd(); ++it) {
            QVERIFY(scanned.contains(it.key()));
            QVERIFY(it->rssBytes > 0);
        }

        // The files stay open between snapshots; once the inner shell and its sleep have
        // ended, the next snapshot leaves them out and closes what it read of them.
        const size_t heldForFour = probe.heldFileCount();
        QVERIFY(heldForFour >= 8);
        const QList<qint32> pids = tree.keys();
        const auto innerShell = std::find_if(pids.cbegin(), pids.cend(), [&](qint32 pid) {
            return pid != root && ProcessTreeProbe().snapshot({pid}).size() == 2;
        });
        QVERIFY(innerShell != pids.cend());
        ::kill(*innerShell, SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(probe.snapshot({root}).size(), 2, 5000);
        QVERIFY(probe.heldFileCount() < heldForFour);

        // Our own CPU time, converted from clock ticks, matches the kernel's ns clock
        // to within a couple of ticks, also read again from a file held open.
        const qint32 self = qint32(::getpid());
        (void)probe.snapshot({self});
        timespec start{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
        const auto ns = [](const timespec& t) {
            return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
        };
        volatile quint64 spin = 0;
        for (timespec now = start; ns(now) - ns(start) < 100'000'000;) {
            for (int i = 0; i < 100000; ++i)
                spin = spin + 1;
            ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        }
        timespec cpu{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        const qint64 measured = qint64(probe.snapshot({self}).value(self).cpuTimeNS);
        const qint64 actual = ns(cpu);
        QVERIFY2(std::abs(measured - actual) <= 3 * qint64(ticksNS(1)) + 50'000'000,
                 qPrintable(QStringLiteral("%1 vs %2").arg(measured).arg(actual)));
    }
};

QTEST_GUILESS_MAIN(TestProcTree)
#include "test_proc_tree.moc"
