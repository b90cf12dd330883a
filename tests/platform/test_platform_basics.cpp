#include "platform/cpu_topology.h"
#include "platform/private_temp_dir.h"
#include "platform/settings_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace vxr;

namespace {
void writeFile(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

// A sysfs tree with cpus 0..n-1, two threads per core.
void makeCpus(const QString& root, int count, const QList<int>& capacities = {}) {
    writeFile(root + "/devices/system/cpu/online",
              QByteArray("0-") + QByteArray::number(count - 1));
    for (int cpu = 0; cpu < count; ++cpu) {
        const QString dir = root + QStringLiteral("/devices/system/cpu/cpu%1").arg(cpu);
        const int core = cpu / 2;
        writeFile(dir + "/topology/core_cpus_list",
                  QByteArray::number(core * 2) + '-' + QByteArray::number(core * 2 + 1));
        if (!capacities.isEmpty())
            writeFile(dir + "/cpu_capacity", QByteArray::number(capacities.value(cpu)));
    }
}

QList<int> range(int count) {
    QList<int> cpus;
    for (int cpu = 0; cpu < count; ++cpu)
        cpus.append(cpu);
    return cpus;
}
} // namespace

class TestPlatformBasics : public QObject {
    Q_OBJECT
private slots:
    void cpuLists() {
        QCOMPARE(parseCpuList(QStringLiteral("0-3,8,10-11\n")),
                 (QList<int>{0, 1, 2, 3, 8, 10, 11}));
        QCOMPARE(parseCpuList(QStringLiteral("garbage,5-2,7")), QList<int>{7});
    }

    void performanceCoresFromSysfs() {
        QTemporaryDir uniform;
        makeCpus(uniform.path(), 8);
        QCOMPARE(fastestClassPhysicalCores(uniform.path(), range(8)), 4);
        QCOMPARE(fastestClassPhysicalCores(uniform.path(), {0, 1, 2}), 2); // affinity limits it

        QTemporaryDir hybrid;
        makeCpus(hybrid.path(), 12);
        writeFile(hybrid.path() + "/devices/cpu_core/cpus", "0-3");
        QCOMPARE(fastestClassPhysicalCores(hybrid.path(), range(12)), 2);

        QTemporaryDir bigLittle;
        makeCpus(bigLittle.path(), 8, {1024, 1024, 1024, 1024, 512, 512, 512, 512});
        QCOMPARE(fastestClassPhysicalCores(bigLittle.path(), range(8)), 2);

        QTemporaryDir empty;
        QCOMPARE(fastestClassPhysicalCores(empty.path(), range(8)), std::nullopt);
    }

    void performanceCoresFallback() {
        QCOMPARE(performanceCoresFrom(std::nullopt, 1), 1);
        QCOMPARE(performanceCoresFrom(std::nullopt, 8), 4);
        QCOMPARE(performanceCoresFrom(std::nullopt, 3), 1);
        QCOMPARE(performanceCoresFrom(6, 12), 6);
        QVERIFY(performanceCores() >= 1);
        QVERIFY(activeProcessorCount() >= 1);
    }

    void privateTempDirectoryRefusesHostilePaths() {
        QTemporaryDir base;
        const QString expected = base.path() + QStringLiteral("/vxr-worker-%1/").arg(::geteuid());
        QCOMPARE(privateTempDirectory(base.path()), expected);
        QCOMPARE(privateTempDirectory(base.path()), expected); // reused

        QTemporaryDir hostile;
        const QString name = hostile.path() + QStringLiteral("/vxr-worker-%1").arg(::geteuid());
        QTemporaryDir elsewhere;
        QVERIFY(QFile::link(elsewhere.path(), name));
        const QString chosen = privateTempDirectory(hostile.path());
        QVERIFY(chosen != name + u'/');
        QVERIFY(chosen.startsWith(name + u'-'));
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(chosen).constData(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode));
        QCOMPARE(st.st_mode & 077, mode_t(0));

        QTemporaryDir open;
        const QString openDir = open.path() + QStringLiteral("/vxr-worker-%1").arg(::geteuid());
        QVERIFY(QDir().mkdir(openDir));
        ::chmod(QFile::encodeName(openDir).constData(), 0777);
        QVERIFY(privateTempDirectory(open.path()) != openDir + u'/');
    }

    void settingsKeepTypesApart() {
        const auto map = SettingsStore::decode(R"({"b": true, "i": 3, "d": 2.5, "s": "x"})");
        QVERIFY(map);
        QCOMPARE(storedBool(map->value("b")), true);
        QCOMPARE(storedInteger(map->value("i")), 3);
        QCOMPARE(storedDouble(map->value("i")), 3.0);
        QCOMPARE(storedInteger(map->value("d")), std::nullopt);
        QCOMPARE(storedDouble(map->value("s")), std::nullopt);
        QCOMPARE(storedBool(map->value("s")), std::nullopt);
        QVERIFY(!SettingsStore::decode("[1,2]"));
        QVERIFY(!SettingsStore::decode("{\"a\":"));
        QVERIFY(SettingsStore::decode("")->isEmpty());

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.json"));
        {
            SettingsStore store(path);
            store.setValue(QStringLiteral("flag"), false);
            store.setValue(QStringLiteral("count"), qint64(7));
            store.setValue(QStringLiteral("ratio"), 0.25);
        }
        SettingsStore reread(path);
        QCOMPARE(reread.value(QStringLiteral("flag"))->typeId(), int(QMetaType::Bool));
        QCOMPARE(storedInteger(*reread.value(QStringLiteral("count"))), 7);
        QCOMPARE(storedDouble(*reread.value(QStringLiteral("ratio"))), 0.25);
        QVERIFY(!reread.value(QStringLiteral("missing")));
    }

    void lenientBooleans_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("expected");
        QTest::newRow("bool") << QVariant(false) << false;
        QTest::newRow("number") << QVariant(qint64(2)) << true;
        QTest::newRow("zero") << QVariant(0.0) << false;
        QTest::newRow("YES") << QVariant(QStringLiteral("YES")) << true;
        QTest::newRow("true") << QVariant(QStringLiteral("true")) << true;
        QTest::newRow("no") << QVariant(QStringLiteral("no")) << false;
        QTest::newRow("0") << QVariant(QStringLiteral("0")) << false;
    }
    void lenientBooleans() {
        QFETCH(QVariant, value);
        QTEST(storedBoolLenient(value), "expected");
    }
};

QTEST_GUILESS_MAIN(TestPlatformBasics)
#include "test_platform_basics.moc"
