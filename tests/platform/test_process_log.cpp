#include "platform/child_process.h"
#include "platform/process_log.h"

#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace vxr;

class TestProcessLog : public QObject {
    Q_OBJECT

    static constexpr std::chrono::milliseconds kWait{5000};
    static constexpr std::chrono::milliseconds kRetry{1};

    static QByteArray readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void assemblesWholeLines_data() {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("two lines in one chunk")
            << QList<QByteArray>{"a\nb\n"} << QByteArray("[worker] a\n[worker] b\n");
        QTest::newRow("line split across reads") << QList<QByteArray>{"hel", "lo\nwor", "ld\n"}
                                                 << QByteArray("[worker] hello\n[worker] world\n");
        QTest::newRow("empty lines dropped")
            << QList<QByteArray>{"\n\n", "x\n\n\ny\n"} << QByteArray("[worker] x\n[worker] y\n");
        QTest::newRow("character split across reads")
            << QList<QByteArray>{"gr\xc3", "\xbc\xc3\x9f\n"}
            << QByteArray("[worker] gr\xc3\xbc\xc3\x9f\n");
        QTest::newRow("invalid byte becomes replacement") << QList<QByteArray>{"a\xff"
                                                                               "b\n"}
                                                          << QByteArray("[worker] a\xef\xbf\xbd"
                                                                        "b\n");
        QTest::newRow("final partial line flushed")
            << QList<QByteArray>{"done\nlast"} << QByteArray("[worker] done\n[worker] last\n");
        QTest::newRow("truncated character at the end")
            << QList<QByteArray>{"x\xe2\x82"} << QByteArray("[worker] x\xef\xbf\xbd\xef\xbf\xbd\n");
        QTest::newRow("truncated character before a line feed")
            << QList<QByteArray>{"a\xe2\x82\nb\n"}
            << QByteArray("[worker] a\xef\xbf\xbd\xef\xbf\xbd\n[worker] b\n");
    }
    void assemblesWholeLines() {
        QFETCH(QList<QByteArray>, chunks);
        LogLineAssembler assembler(QStringLiteral("worker"));
        QByteArray out;
        for (const QByteArray& chunk : chunks)
            out += assembler.feed(chunk);
        out += assembler.finish();
        QTEST(out, "expected");
    }

    void logIsPrivateAppendedAndNeverFollowsSymlinks() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("vxrwork-processes.log"));
        ::umask(022);
        QVERIFY(ProcessLog(dir.path(), QStringLiteral("vxrwork-processes.log")).append("one\n"));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));

        QVERIFY(ProcessLog(dir.path(), QStringLiteral("vxrwork-processes.log")).append("two\n"));
        QCOMPARE(readFile(path), QByteArray("one\ntwo\n"));

        const QString target = dir.filePath(QStringLiteral("victim"));
        QVERIFY(QFile::link(target, dir.filePath(QStringLiteral("planted.log"))));
        ProcessLog planted(dir.path(), QStringLiteral("planted.log"));
        QVERIFY(planted.append("x\n"));
        QVERIFY(!planted.flush(kWait));
        QVERIFY(!QFile::exists(target));
    }

    // The log and its one predecessor stay under the cap with whole lines only, the
    // newest last, whatever the size of each write; a log deleted or replaced by a link
    // while we run is made anew, never written through the link.
    void logRotatesAtItsCapKeepingWholeLines_data() {
        QTest::addColumn<int>("linesPerWrite");
        QTest::addColumn<QString>("midway"); // what happens to the log halfway
        QTest::newRow("short writes") << 3 << QString();
        QTest::newRow("one write past the cap twice over") << 400 << QString();
        QTest::newRow("older .1 is replaced") << 3 << QStringLiteral("old .1");
        QTest::newRow("log deleted") << 3 << QStringLiteral("delete");
        QTest::newRow("log replaced by a link") << 3 << QStringLiteral("link");
    }
    void logRotatesAtItsCapKeepingWholeLines() {
        QFETCH(int, linesPerWrite);
        QFETCH(QString, midway);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.log"));
        const QString victim = dir.filePath(QStringLiteral("victim"));
        constexpr qint64 cap = 4096;
        ProcessLog log(dir.path(), QStringLiteral("p.log"), {cap, 1 << 20, kRetry});
        int next = 0;
        const auto write = [&](int writes, bool written) {
            for (int w = 0; w < writes; ++w) {
                QByteArray lines;
                for (int i = 0; i < linesPerWrite; ++i, ++next)
                    lines += "[worker] line " + QByteArray::number(next) + ' ' +
                             QByteArray(next % 97, 'x') + '\n';
                QVERIFY(log.append(lines));
                QCOMPARE(log.flush(kWait), written);
            }
        };
        write(200 / linesPerWrite + 1, true);
        if (midway == "old .1") {
            QFile stale(path + ".1");
            QVERIFY(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
            stale.write("stale\n");
        }
        if (midway == "delete" || midway == "link")
            QVERIFY(QFile::remove(path));
        if (midway == "link")
            QVERIFY(QFile::link(victim, path));
        write(200 / linesPerWrite + 1, midway != "link");

        if (midway == "link") {
            QVERIFY(!QFile::exists(victim));
            QVERIFY(QFileInfo(path).isSymLink());
            return;
        }
        const QByteArray kept = readFile(path + ".1") + readFile(path);
        QVERIFY(QFileInfo(path).size() <= cap && QFileInfo(path + ".1").size() <= cap);
        QVERIFY(kept.size() > cap); // rotation keeps the previous file, not nothing
        QVERIFY(kept.endsWith('\n') && readFile(path + ".1").endsWith('\n'));
        const QList<QByteArray> lines = kept.chopped(1).split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) { // consecutive, whole, the newest last
            const int n = next - int(lines.size() - i);
            QCOMPARE(lines[i],
                     "[worker] line " + QByteArray::number(n) + ' ' + QByteArray(n % 97, 'x'));
        }
    }

    void childOutputIsDrainedWhileTheLogIsUnwritable() {
        // 4 MiB through a pipe with nowhere to write it: the child must still finish.
        ChildProcess child(QStringLiteral("/bin/sh"),
                           {QStringLiteral("-c"),
                            QStringLiteral("head -c 4194304 /dev/zero | tr '\\0' 'x'; exit 4")},
                           QProcessEnvironment::systemEnvironment());
        child.attachLogging(
            std::make_shared<ProcessLog>(QStringLiteral("/nonexistent/dir"), QStringLiteral("log")),
            QStringLiteral("worker"));
        QSignalSpy exited(&child, &ChildProcess::exited);
        QString error;
        QVERIFY(child.start(&error));
        QVERIFY(child.pid() > 0);
        QTRY_COMPARE(exited.count(), 1);
        QCOMPARE(exited.first().first().toInt(), 4);
        QVERIFY(!child.isRunning());
    }

    // A disk that takes nothing for a while: the child still runs to its end, the file
    // holds whole lines only, and once there is room again every line that fitted the
    // backlog follows in order, then one line counting those left out.
    void fullDiskLosesNothingTheBacklogHeld() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.log"));
        // A file size limit fails writes as a full disk does, part-way.
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &saved); });
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit full = saved;
        full.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);

        auto log = std::make_shared<ProcessLog>(dir.path(), QStringLiteral("p.log"),
                                                ProcessLog::Limits{1 << 20, 64 * 1024, kRetry});
        constexpr int total = 20000;
        ChildProcess child(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("i=0; while [ $i -lt %1 ]; do echo line $i; "
                                                  "i=$((i+1)); done; exit 3")
                                       .arg(total)},
            QProcessEnvironment::systemEnvironment());
        child.attachLogging(log, QStringLiteral("worker"));
        QSignalSpy exited(&child, &ChildProcess::exited);
        QVERIFY(child.start(nullptr));
        QTRY_COMPARE(exited.count(), 1);
        QVERIFY(!log->flush(kWait));
        const QByteArray whileFull = readFile(path);
        QVERIFY(whileFull.size() <= 4096 && (whileFull.isEmpty() || whileFull.endsWith('\n')));

        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);
        QVERIFY(log->flush(kWait));
        // Each count stands where its lines would have been.
        const QByteArray leftOut = "[VXR Worker] ";
        int next = 0;
        int kept = 0;
        for (const QByteArray& line : readFile(path).chopped(1).split('\n')) {
            if (line.startsWith(leftOut)) {
                QVERIFY(line.endsWith(" lines left out: the disk was full or too slow"));
                next += line.mid(leftOut.size()).split(' ').first().toInt();
                continue;
            }
            QCOMPARE(line, "[worker] line " + QByteArray::number(next++));
            ++kept;
        }
        QCOMPARE(next, total);
        QVERIFY(kept > 64 * 1024 / 32 && kept < total);
    }

    // Occasional lines wait to go out together; a flush, a pipe's worth or the end
    // of the log sends them at once.
    void recordsGatherUntilFlushedBatchedOrClosed() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("g.log"));
        ProcessLog::Limits limits;
        limits.gatherDelay = std::chrono::hours(1);
        const QByteArray batch = QByteArray(64 * 1024, 'x') + '\n';
        {
            ProcessLog log(dir.path(), QStringLiteral("g.log"), limits);
            QVERIFY(log.append("[w] a\n"));
            QVERIFY(log.append("[w] b\n"));
            QTest::qWait(50);
            QVERIFY(readFile(path).isEmpty());
            QVERIFY(log.flush(kWait));
            QCOMPARE(readFile(path), "[w] a\n[w] b\n");

            QVERIFY(log.append("[w] c\n"));
            QVERIFY(log.append(batch));
            QTRY_COMPARE(QFileInfo(path).size(), 18 + batch.size());
            QVERIFY(log.append("[w] d\n"));
        }
        QCOMPARE(readFile(path), "[w] a\n[w] b\n[w] c\n" + batch + "[w] d\n");
    }

    void terminationReportsTheSignal() {
        ChildProcess child(QStringLiteral("/bin/sleep"), {QStringLiteral("60")},
                           QProcessEnvironment::systemEnvironment());
        QSignalSpy exited(&child, &ChildProcess::exited);
        QString error;
        QVERIFY(child.start(&error));
        child.terminate();
        QTRY_COMPARE(exited.count(), 1);
        QCOMPARE(exited.first().first().toInt(), 15);
    }

    void missingProgramFailsWithADescription() {
        ChildProcess child(QStringLiteral("/nonexistent/vxr-worker.sh"), {},
                           QProcessEnvironment::systemEnvironment());
        child.attachLogging(nullptr, QStringLiteral("worker"));
        QString error;
        QVERIFY(!child.start(&error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProcessLog)
#include "test_process_log.moc"
