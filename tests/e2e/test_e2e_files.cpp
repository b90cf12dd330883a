// Files the program finds in a bad state: corrupt stores it must keep aside, and
// paths planted to redirect its writes.

#include "e2e/app_harness.h"

#include <QTest>

#include <sys/mount.h>
#include <sys/stat.h>

using namespace e2e;

namespace {

QStringList namesIn(const QString& dir, const QString& pattern) {
    return QDir(dir).entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System);
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestE2EFiles : public QObject {
    Q_OBJECT

private:
    SessionBus m_bus;
    std::unique_ptr<AppHarness> m_app;
    QString m_mount;

private slots:
    void initTestCase() { requireProgramAndBus(m_bus); }

    void init() { m_app = std::make_unique<AppHarness>(); }

    void cleanup() {
        endWorld(m_app, m_bus, [this] {
            if (!m_mount.isEmpty())
                ::umount2(QFile::encodeName(m_mount).constData(), MNT_DETACH);
            m_mount.clear();
        });
    }

    void corruptStoresAreKeptAside_data() {
        QTest::addColumn<QByteArray>("history");
        QTest::addColumn<QByteArray>("settings");
        QTest::newRow("truncated")
            << QByteArray("[{\"id\":\"Qm7fa92Lw3kPz0Rt8cBv\",\"firstSeen\":\"2026-")
            << QByteArray("{\"maxSandboxes\": 3, \"joinGlobalGroup\": fa");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe garbage \x01\x02", 15)
                                << QByteArray("\xef\xbb\xbf\x00\x00[[[[", 9);
    }

    // The program starts with defaults, each bad file is renamed with its bytes intact,
    // and the program keeps working.
    void corruptStoresAreKeptAside() {
        QFETCH(QByteArray, history);
        QFETCH(QByteArray, settings);
        QVERIFY(writeFile(m_app->historyFile(), history));
        QVERIFY(writeFile(m_app->settingsFile(), settings));

        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(m_app->services().size(), 1, 10000);

        const QStringList keptHistory =
            namesIn(m_app->appSupportDir(), QStringLiteral("job-history.json.unreadable-*"));
        QCOMPARE(keptHistory.size(), 1);
        QCOMPARE(m_app->read(m_app->appSupportDir() + u'/' + keptHistory.first()), history);
        const QString configDir = QFileInfo(m_app->settingsFile()).absolutePath();
        const QStringList keptSettings =
            namesIn(configDir, QStringLiteral("network.quorbel.vxrworker.json.unreadable-*"));
        QCOMPARE(keptSettings.size(), 1);
        QCOMPARE(m_app->read(configDir + u'/' + keptSettings.first()), settings);
        // Not the 3 sandboxes of the broken file, and the global group joined.
        QVERIFY(!m_app->services().first().argv.contains(QStringLiteral("--no-global")));

        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->evaluators().size(), 1, 10000);
        QVERIFY(m_bus.action(QStringLiteral("quit")));
        QVERIFY(m_app->waitForExit(10000));
        QCOMPARE(m_app->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_app->exitCode(), 0);
        QVERIFY(!m_app->output().contains("QFATAL"));
    }

    void plantedPathsAreNotFollowed_data() {
        QTest::addColumn<QString>("what");
        QTest::newRow("symlink at the process log") << QStringLiteral("log-symlink");
        QTest::newRow("symlink as the private temp directory") << QStringLiteral("dir-symlink");
        QTest::newRow("world-writable private temp directory") << QStringLiteral("dir-0777");
    }

    // Nothing is written through a planted symlink or into a directory others could
    // have prepared; the program goes on working with a safe directory of its own.
    void plantedPathsAreNotFollowed() {
        QFETCH(QString, what);
        const QString elsewhere = m_app->path(QStringLiteral("elsewhere"));
        const QString victim = elsewhere + QStringLiteral("/victim");
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(writeFile(victim, "precious\n"));
        const QString privateTemp = m_app->privateTemp();
        QString watched; // the directory nothing may appear in
        if (what == QLatin1String("log-symlink")) {
            QVERIFY(QDir().mkpath(privateTemp));
            QVERIFY(::chmod(QFile::encodeName(privateTemp).constData(), 0700) == 0);
            QVERIFY(QFile::link(victim, m_app->processLog()));
        } else if (what == QLatin1String("dir-symlink")) {
            QVERIFY(::chmod(QFile::encodeName(elsewhere).constData(), 0700) == 0);
            QVERIFY(QFile::link(elsewhere, privateTemp));
            watched = elsewhere;
        } else {
            QVERIFY(QDir().mkpath(privateTemp));
            QVERIFY(::chmod(QFile::encodeName(privateTemp).constData(), 0777) == 0);
            watched = privateTemp;
        }

        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->evaluators().size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_app->services().size(), 1, 10000);
        // Long enough for the first limit-file write (every 2 s) and for both programs
        // to have logged their start.
        QTest::qWait(2500);

        const QString pidFile = m_app->services().first().argv.value(3);
        const QString usedDir = QFileInfo(pidFile).absolutePath();
        const QString limitFile = m_app->services()
                                      .first()
                                      .env.value(QLatin1String("VXR_WORKER_MEMORY_LIMIT_FILE"))
                                      .toString();
        QCOMPARE(QFileInfo(limitFile).absolutePath(), usedDir);
        QVERIFY2(QFileInfo::exists(limitFile), qPrintable(limitFile));
        QCOMPARE(m_app->read(victim), QByteArray("precious\n"));
        if (what == QLatin1String("log-symlink")) {
            QVERIFY(QFileInfo(m_app->processLog()).isSymLink());
            QCOMPARE(usedDir, privateTemp);
        } else {
            // A directory of its own beside the planted one, private to this user.
            QVERIFY2(usedDir.startsWith(privateTemp + u'-'), qPrintable(usedDir));
            struct stat st {};
            QVERIFY(::lstat(QFile::encodeName(usedDir).constData(), &st) == 0);
            QVERIFY(S_ISDIR(st.st_mode) && (st.st_mode & 077) == 0);
            QCOMPARE(
                QDir(watched).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                what == QLatin1String("dir-symlink") ? QStringList{QStringLiteral("victim")}
                                                     : QStringList{});
            QTRY_VERIFY_WITH_TIMEOUT(m_app->read(usedDir + QStringLiteral("/vxrwork-processes.log"))
                                         .contains("[evaluator] "),
                                     5000);
        }
        QVERIFY(m_app->running());
        QVERIFY(alive(m_app->evaluators().first().pid));
    }

    // Application-support directory on a full filesystem: the saves fail, the files
    // that were there stay as they were, the program carries on.
    void fullDiskKeepsOldFiles() {
        const QString support = m_app->appSupportDir();
        QVERIFY(QDir().mkpath(support));
        if (::mount("tmpfs", QFile::encodeName(support).constData(), "tmpfs", 0,
                    "size=256k,mode=0700") != 0)
            QSKIP("mounting a small tmpfs is not permitted here; the full-disk case needs one");
        m_mount = support;
        const QByteArray oldHistory = "[]";
        QVERIFY(writeFile(m_app->historyFile(), oldHistory));
        {
            // Fill every block that is left.
            QFile filler(support + QStringLiteral("/filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'f');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        }

        QVERIFY(m_app->start(m_bus));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QVERIFY(m_bus.action(QStringLiteral("toggle")));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->evaluators().size(), 1, 10000);
        // Slices finish within seconds at this time scale; the history would be saved
        // 3 s after the first one is seen. Quitting saves once more.
        QTest::qWait(7000);
        QVERIFY(m_app->running());
        QVERIFY(m_bus.action(QStringLiteral("quit")));
        QVERIFY(m_app->waitForExit(10000));
        QCOMPARE(m_app->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_app->exitCode(), 0);
        QCOMPARE(m_app->read(m_app->historyFile()), oldHistory);
        // No half-written temporary files left behind.
        QStringList left = QDir(support).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("filler"));
        left.removeAll(QStringLiteral("job-history.json"));
        left.removeAll(QStringLiteral("memory-peaks.json")); // the worker service's own file
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
    }
};

QTEST_GUILESS_MAIN(TestE2EFiles)
#include "test_e2e_files.moc"
