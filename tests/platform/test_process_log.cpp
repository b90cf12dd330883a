#include "platform/child_process.h"
#include "platform/process_log.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace vxr;

class TestProcessLog : public QObject {
    Q_OBJECT

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
        int fd = openProcessLog(path);
        QVERIFY(fd >= 0);
        QVERIFY(::write(fd, "one\n", 4) == 4);
        ::close(fd);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));

        fd = openProcessLog(path);
        QVERIFY(::write(fd, "two\n", 4) == 4);
        ::close(fd);
        QCOMPARE(readFile(path), QByteArray("one\ntwo\n"));

        const QString target = dir.filePath(QStringLiteral("victim"));
        const QString planted = dir.filePath(QStringLiteral("planted.log"));
        QVERIFY(QFile::link(target, planted));
        QCOMPARE(openProcessLog(planted), -1);
        QVERIFY(!QFile::exists(target));
    }

    void childOutputIsDrainedWhileTheLogIsUnwritable() {
        // 4 MiB through a pipe with nowhere to write it: the child must still finish.
        ChildProcess child(QStringLiteral("/bin/sh"),
                           {QStringLiteral("-c"),
                            QStringLiteral("head -c 4194304 /dev/zero | tr '\\0' 'x'; exit 4")},
                           QProcessEnvironment::systemEnvironment());
        child.attachLogging(QStringLiteral("/nonexistent/dir/log"), QStringLiteral("worker"));
        QSignalSpy exited(&child, &ChildProcess::exited);
        QString error;
        QVERIFY(child.start(&error));
        QVERIFY(child.pid() > 0);
        QTRY_COMPARE(exited.count(), 1);
        QCOMPARE(exited.first().first().toInt(), 4);
        QVERIFY(!child.isRunning());
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
        child.attachLogging(QStringLiteral("/tmp/unused.log"), QStringLiteral("worker"));
        QString error;
        QVERIFY(!child.start(&error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProcessLog)
#include "test_process_log.moc"
