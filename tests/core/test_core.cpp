#include "core/atomic_file.h"
#include "core/diagnostics.h"
#include "core/number_text.h"
#include "core/timing.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace vxr;

class TestCore : public QObject {
    Q_OBJECT
private slots:
    void shortestDecimal_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("half") << 0.5 << "0.5";
        QTest::newRow("whole") << 1.0 << "1.0";
        QTest::newRow("thirty-three") << 0.33 << "0.33";
        QTest::newRow("three-quarters") << 0.75 << "0.75";
        QTest::newRow("tenth-plus-fifth") << 0.1 + 0.2 << "0.30000000000000004";
    }
    void shortestDecimal() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(shortestDecimalText(value), text);
        QCOMPARE(text.toDouble(), value);
    }

    void scaledTimingKeepsEveryDelayPositive() {
        const Timing t = Timing{}.scaled(0.0001);
        QCOMPARE(t.initialServiceStartDelay, Millis(1));
        QCOMPARE(Timing{}.scaled(0.01).registrationRestartDelay, Millis(650));
        QCOMPARE(Timing{}.scaled(0.01).resetExitPollAttempts, 50);
    }

    void atomicWriteReplacesWholeFileOrNothing() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.json"));
        QVERIFY(writeFileAtomically(path, "first"));
        QVERIFY(writeFileAtomically(path, "second"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("second"));
        QVERIFY(!writeFileAtomically(dir.filePath(QStringLiteral("missing/dir/f.json")), "x"));
    }

    // Each version whole, however its length differs from the one it overwrites; a link
    // at either name is replaced, never written through.
    void swappedFileHoldsEachVersionWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("limit.json"));
        const QString victim = dir.filePath(QStringLiteral("victim"));
        QVERIFY(QFile(victim).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(victim, path));
        const auto contents = [](const QString& file) {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
        };
        for (const QByteArray version : {"a long first version", "short", "a middling one", "x",
                                         "the longest version of them all"}) {
            QVERIFY(swapFileIn(path, version));
            QCOMPARE(contents(path), version);
        }
        QVERIFY(!QFileInfo(path).isSymLink());
        QCOMPARE(QFileInfo(victim).size(), 0);
        QVERIFY(QFile::remove(path + ".next") && QFile::link(victim, path + ".next"));
        QVERIFY(swapFileIn(path, "after a link at the spare"));
        QCOMPARE(contents(path), QByteArray("after a link at the spare"));
        QCOMPARE(QFileInfo(victim).size(), 0);
        QVERIFY(!swapFileIn(dir.filePath(QStringLiteral("missing/limit.json")), "x"));
    }

    void diagnosticsAreCaptured() {
        DiagnosticCapture capture;
        writeDiagnostic(QStringLiteral("hello"));
        QCOMPARE(capture.lines(), QStringList{QStringLiteral("hello")});
        QVERIFY(capture.containsPrefix(QStringLiteral("hel")));
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "test_core.moc"
