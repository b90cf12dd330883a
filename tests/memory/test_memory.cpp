#include "core/atomic_file.h"
#include "memory/memory_governor.h"
#include "memory/memory_limit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cmath>
#include <limits>

using namespace vxr;

namespace {

constexpr quint64 GB = 1073741824;
constexpr quint64 total16 = 16 * GB;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A /proc holding only meminfo: what the governor reads when no worker runs.
void writeMeminfo(const QString& procRoot, quint64 totalBytes, quint64 availableBytes) {
    QDir().mkpath(procRoot);
    QFile file(procRoot + QStringLiteral("/meminfo"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("MemTotal: " + QByteArray::number(totalBytes / 1024) + " kB\nMemFree: 1 kB\n" +
               (availableBytes
                    ? "MemAvailable: " + QByteArray::number(availableBytes / 1024) + " kB\n"
                    : QByteArray()));
}

} // namespace

class TestMemory : public QObject {
    Q_OBJECT
private slots:
    void limit_data() {
        QTest::addColumn<quint64>("used");
        QTest::addColumn<quint64>("vxr");
        QTest::addColumn<double>("capPercent");
        QTest::addColumn<bool>("yield");
        QTest::addColumn<double>("headroomGB");
        QTest::addColumn<quint64>("otherApps");
        QTest::addColumn<quint64>("limit");
        QTest::newRow("worked example")
            << 10 * GB << 2 * GB << 50.0 << true << 1.5 << 8 * GB << quint64(6979321856);
        QTest::newRow("13 GB others")
            << 15 * GB << 2 * GB << 50.0 << true << 1.5 << 13 * GB << quint64(1610612736);
        QTest::newRow("15 GB others")
            << 17 * GB << 2 * GB << 50.0 << true << 1.5 << 15 * GB << quint64(0);
        QTest::newRow("others plus headroom exactly total")
            << 14 * GB + GB / 2 << 0ULL << 50.0 << true << 1.5 << 14 * GB + GB / 2 << quint64(0);
        QTest::newRow("little in use: the cap holds")
            << 2 * GB << 1 * GB << 50.0 << true << 1.5 << 1 * GB << quint64(8589934592);
        QTest::newRow("yield off is the cap")
            << 15 * GB << 0ULL << 50.0 << false << 1.5 << 15 * GB << quint64(8589934592);
        QTest::newRow("vxr above used")
            << 1 * GB << 2 * GB << 50.0 << true << 1.5 << 0ULL << quint64(8589934592);
        QTest::newRow("cap truncated")
            << 0ULL << 0ULL << 33.3 << false << 1.5 << 0ULL << quint64(5720896438);
        QTest::newRow("headroom in GiB")
            << 0ULL << 0ULL << 100.0 << true << 1.5 << 0ULL << total16 - 1610612736;
        // Values no settings screen produces, from a hand-edited file.
        QTest::newRow("cap above 100") << 0ULL << 0ULL << 250.0 << false << 1.5 << 0ULL << total16;
        QTest::newRow("negative cap") << 0ULL << 0ULL << -5.0 << false << 1.5 << 0ULL << 0ULL;
        QTest::newRow("NaN cap") << 0ULL << 0ULL << std::nan("") << false << 1.5 << 0ULL << 0ULL;
        QTest::newRow("infinite cap") << 0ULL << 0ULL << std::numeric_limits<double>::infinity()
                                      << false << 1.5 << 0ULL << total16;
        QTest::newRow("negative headroom")
            << 4 * GB << 0ULL << 100.0 << true << -2.0 << 4 * GB << 12 * GB;
        QTest::newRow("huge headroom")
            << 4 * GB << 0ULL << 100.0 << true << 1e300 << 4 * GB << 0ULL;
        QTest::newRow("NaN headroom")
            << 4 * GB << 0ULL << 100.0 << true << std::nan("") << 4 * GB << 0ULL;
    }
    void limit() {
        QFETCH(quint64, used);
        QFETCH(quint64, vxr);
        QFETCH(double, capPercent);
        QFETCH(bool, yield);
        QFETCH(double, headroomGB);
        QFETCH(quint64, otherApps);
        QFETCH(quint64, limit);
        const MemoryReading reading =
            computeMemoryReading(total16, used, {vxr, vxr}, {capPercent, yield, headroomGB});
        QCOMPARE(reading, (MemoryReading{total16, otherApps, vxr, limit}));
    }

    void fileAndText() {
        QCOMPARE(memoryLimitFileContents(6979321856, 1733700000123),
                 QByteArray(R"({"limit":6979321856,"time":1733700000123})"));
        QCOMPARE(memoryReadingText({total16, 8 * GB, 2 * GB, 6979321856}),
                 QStringLiteral("Now: VXR may use 6.5 GB \u00b7 VXR using 2.0 GB \u00b7 other "
                                "apps 8.0 GB of 16.0 GB"));
    }

    void governorWritesTheLimitFile() {
        QTemporaryDir dir;
        const QString procRoot = dir.filePath(QStringLiteral("proc"));
        writeMeminfo(procRoot, total16, 6 * GB); // 10 GB used, no worker running
        const QString limitFile = dir.filePath(QString::fromLatin1(memoryLimitFileName));
        // A link planted in its place is replaced, its target left alone.
        const QString victim = dir.filePath(QStringLiteral("victim"));
        QVERIFY(QFile(victim).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(victim, limitFile));
        MemorySettings settings;
        QObject owner;
        ProcessTreeWatch tree({}, std::chrono::milliseconds(20), procRoot);
        MemoryGovernor governor({&tree, [&] { return settings; }, &owner}, limitFile);
        QCOMPARE(governor.totalMemory(), total16);
        QVERIFY(!governor.hasReading());
        QVERIFY(governor.readingText().isEmpty());

        QSignalSpy updates(&governor, &MemoryGovernor::updateFinished);
        governor.start();
        governor.start();
        QTRY_VERIFY(updates.count() >= 3);
        QCOMPARE(governor.reading(), (MemoryReading{total16, 10 * GB, 0, 4 * GB + GB / 2}));
        QVERIFY(governor.readingText().startsWith(QStringLiteral("Now: VXR may use 4.5 GB")));
        QTRY_VERIFY(!QFileInfo(limitFile).isSymLink()); // written on the writer thread
        QCOMPARE(QFileInfo(victim).size(), 0);
        const QByteArray contents = readAll(limitFile);
        QVERIFY2(QRegularExpression(QStringLiteral(R"(^\{"limit":4831838208,"time":\d{13}\}$)"))
                     .match(QString::fromUtf8(contents))
                     .hasMatch(),
                 contents.constData());
        const qint64 written =
            contents.mid(contents.indexOf("\"time\":") + 7).chopped(1).toLongLong();
        QVERIFY(qAbs(written - QDateTime::currentMSecsSinceEpoch()) < 60'000);
    }

    void settingsChangeUpdatesAtOnce() {
        QTemporaryDir dir;
        const QString procRoot = dir.filePath(QStringLiteral("proc"));
        writeMeminfo(procRoot, total16, 14 * GB);
        const QString limitFile = dir.filePath(QString::fromLatin1(memoryLimitFileName));
        MemorySettings settings;
        QObject owner;
        ProcessTreeWatch tree({}, std::chrono::hours(1), procRoot); // one walk only
        MemoryGovernor governor({&tree, [&] { return settings; }, &owner}, limitFile);
        QSignalSpy updates(&governor, &MemoryGovernor::updateFinished);
        governor.start();
        QTRY_COMPARE(updates.count(), 1);
        // The file is written on the writer thread, just after the update.
        QTRY_VERIFY(readAll(limitFile).startsWith(R"({"limit":8589934592,)"));

        settings.memoryCapPercent = 60;
        governor.settingsChanged();
        QTRY_COMPARE(updates.count(), 2);
        QTRY_VERIFY(readAll(limitFile).startsWith(R"({"limit":10307921510,)"));

        // Statistics refused: the reading and the file stay as they were.
        QFile::remove(limitFile);
        writeMeminfo(procRoot, total16, 0);
        const auto before = governor.reading();
        settings.memoryCapPercent = 70;
        governor.settingsChanged();
        QTRY_COMPARE(updates.count(), 3);
        QCOMPARE(governor.reading(), before);
        QVERIFY(!QFileInfo::exists(limitFile));
    }

    void ownerGoneDoesNothing() {
        QTemporaryDir dir;
        const QString procRoot = dir.filePath(QStringLiteral("proc"));
        writeMeminfo(procRoot, total16, 14 * GB);
        const QString limitFile = dir.filePath(QString::fromLatin1(memoryLimitFileName));
        auto owner = std::make_unique<QObject>();
        ProcessTreeWatch tree({}, std::chrono::milliseconds(20), procRoot);
        MemoryGovernor governor({&tree, [] { return MemorySettings{}; }, owner.get()}, limitFile);
        owner.reset();
        QSignalSpy updates(&governor, &MemoryGovernor::updateFinished);
        governor.start();
        governor.settingsChanged();
        QTRY_VERIFY(updates.count() >= 3);
        QVERIFY(!governor.hasReading());
        QVERIFY(!QFileInfo::exists(limitFile));
    }

    // A worker that swaps: the swapped part is VXR's footprint but not part of the
    // machine's used RAM, so it must not be taken off other applications' share.
    void swappedWorkerMemoryDoesNotRaiseTheLimit() {
        const quint64 used = 10 * GB;
        const MemorySettings settings{100, true, 1.5};
        const MemoryReading inRam = computeMemoryReading(total16, used, {4 * GB, 4 * GB}, settings);
        const MemoryReading swapping =
            computeMemoryReading(total16, used, {6 * GB, 4 * GB}, settings);
        QCOMPARE(swapping.otherApps, 6 * GB);
        QCOMPARE(swapping.vxr, 6 * GB);
        QCOMPARE(swapping.limit, inRam.limit);
    }

    // The limit file is rewritten every 2 s; a disk that stalls must not stall the
    // screens, and the writes land in the order of the readings.
    void limitFileIsWrittenOffTheGuiThread() {
        QTemporaryDir dir;
        const QString procRoot = dir.filePath(QStringLiteral("proc"));
        writeMeminfo(procRoot, total16, 6 * GB);
        QSemaphore diskStalled;
        QMutex mutex;
        QList<QByteArray> written;
        QList<bool> onGuiThread;
        QObject owner;
        MemorySettings settings;
        ProcessTreeWatch tree({}, std::chrono::seconds(2), procRoot);
        MemoryGovernor governor({&tree, [&] { return settings; }, &owner},
                                dir.filePath(QStringLiteral("limit.json")), nullptr,
                                [&](const QString& path, const QByteArray& contents) {
                                    diskStalled.acquire();
                                    QMutexLocker lock(&mutex);
                                    onGuiThread.append(QThread::currentThread() == qApp->thread());
                                    written.append(contents);
                                    return swapFileIn(path, contents);
                                });
        QSignalSpy updates(&governor, &MemoryGovernor::updateFinished);
        governor.settingsChanged();
        QTRY_COMPARE(updates.count(), 1);
        settings.memoryCapPercent = 10;
        governor.settingsChanged();
        QTRY_COMPARE(updates.count(), 2); // both readings published while the disk hangs
        QCOMPARE(governor.reading()->limit, memoryCapBytes(total16, 10));
        diskStalled.release(2);
        QTRY_COMPARE(([&] {
                         QMutexLocker lock(&mutex);
                         return written.size();
                     }()),
                     2);
        QMutexLocker lock(&mutex);
        QCOMPARE(onGuiThread, (QList<bool>{false, false}));
        QVERIFY(written[0].startsWith("{\"limit\":4831838208,"));
        QVERIFY(
            written[1].startsWith("{\"limit\":" + QByteArray::number(memoryCapBytes(total16, 10))));
        QCOMPARE(readAll(dir.filePath(QStringLiteral("limit.json"))), written[1]);
    }

    void footprintOfTheWorkerTree() {
        // The fixture tree under 100: 3100 + 1524 + 800 + 0 + 256 KiB of footprint, of
        // which 24 KiB (process 101's) are swapped out.
        QTemporaryDir dir;
        const QString limitFile = dir.filePath(QString::fromLatin1(memoryLimitFileName));
        QObject owner;
        ProcessTreeWatch tree([] { return QList<qint32>{100}; }, std::chrono::seconds(2),
                              QStringLiteral(VXR_TEST_DATA_DIR "/proc/children"));
        MemoryGovernor governor({&tree, [] { return MemorySettings{}; }, &owner}, limitFile);
        governor.settingsChanged();
        QTRY_VERIFY(governor.hasReading());
        QCOMPARE(governor.reading()->vxr, quint64(5680) * 1024);
        QCOMPARE(governor.reading()->otherApps, 10 * GB - quint64(5680 - 24) * 1024);
    }
};

QTEST_GUILESS_MAIN(TestMemory)
#include "test_memory.moc"
