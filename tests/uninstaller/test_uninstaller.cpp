#include "platform/private_temp_dir.h"
#include "uninstaller/install_manifest.h"
#include "uninstaller/installation.h"
#include "uninstaller/package_owner.h"
#include "uninstaller/uninstaller.h"
#include "uninstaller/uninstaller_dialogue.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <unistd.h>

using namespace vxr;
using namespace std::chrono_literals;

namespace {

void writeFile(const QString& path, const QByteArray& contents = "x") {
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

void makeInstallation(const QString& dir) {
    writeFile(dir + "/bin/VXRWorker", "#!/bin/sh\n");
    writeFile(dir + "/bin/UninstallVXRWorker", "#!/bin/sh\n");
    writeFile(dir + "/bin/vxr-worker-ctl", "#!/bin/sh\n");
    writeFile(dir + "/lib/vxr-worker/vxr-worker.sh", "#!/bin/sh\n");
}

// An install as the install rules make it: our files and the manifest that lists them.
const QStringList ourFiles{"bin/VXRWorker",
                           "bin/UninstallVXRWorker",
                           "bin/vxr-worker-ctl",
                           "share/applications/network.quorbel.vxrworker.desktop",
                           "share/icons/hicolor/scalable/apps/network.quorbel.vxrworker.svg",
                           "share/vxr-worker/installed-files"};

void makeManifestInstallation(const QString& prefix) {
    for (const QString& file : ourFiles)
        writeFile(prefix + "/" + file, "#!/bin/sh\n");
    writeFile(prefix + "/share/vxr-worker/installed-files", ourFiles.join('\n').toUtf8() + "\n");
}

// Every file and directory below root with its contents, to show that nothing changed.
QMap<QString, QByteArray> snapshot(const QString& root) {
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        files[path] = it.fileInfo().isFile() && file.open(QIODevice::ReadOnly)
                          ? file.readAll()
                          : QByteArray("<dir>");
    }
    return files;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Stands in for the running application: owns the bus name and counts quit requests.
class FakeApp : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    QStringList actions;
public slots:
    void ActivateAction(const QString& action, const QVariantList&, const QVariantMap&) {
        actions.append(action);
    }
};

class TestUninstaller : public QObject {
    Q_OBJECT

    QProcess m_busDaemon;
    QString m_busAddress;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<FakeApp> m_app;

    QString path(const QString& relative) const { return m_root->filePath(relative); }
    QString home() const { return path("home"); }

    UninstallerEnvironment environment() const {
        UninstallerEnvironment env;
        env.homeDir = home();
        env.dataHome = home() + "/.local/share";
        env.dataDirs = {path("usr/local/share"), path("usr/share")};
        env.configHome = home() + "/.config";
        env.privateTempDir = path("tmp/vxr-worker-%1").arg(::getuid());
        env.fallbackInstallDirs = {path("opt/VXR Worker"), path("opt/VXRWorker")};
        env.bus = QDBusConnection::connectToBus(m_busAddress, "uninstaller");
        env.quitWait = 60s; // a test that waits for it fails by timeout
        return env;
    }

    void makeLeftovers(const UninstallerEnvironment& env) {
        writeFile(env.workerConfigurationPath() + "/config.json", "{}");
        writeFile(env.settingsStorePath(), R"({"maxSandboxes": 2, "joinGlobalGroup": true})");
        writeFile(env.processLogPath(), "[worker] hello\n");
        writeFile(env.privateTempDir + "/vxr-worker.pid", "123");
        QFile::setPermissions(env.privateTempDir,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // Things the uninstaller must leave.
        writeFile(home() + "/.vxr/localStorage/key", "secret");
        writeFile(env.dataHome + "/VXR Worker/job-history.json", "[]");
    }

    void startFakeApp() {
        m_app = std::make_unique<FakeApp>();
        QDBusConnection bus = QDBusConnection::connectToBus(m_busAddress, "fake-app");
        QVERIFY(bus.registerObject(appObjectPath, m_app.get(), QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(bundleID));
    }

    // Runs the removal to its end; the result and how long it took.
    std::pair<UninstallResult, qint64> uninstall(const UninstallerEnvironment& env) {
        Uninstaller uninstaller(env);
        std::optional<UninstallResult> result;
        connect(&uninstaller, &Uninstaller::finished, this,
                [&result](const UninstallResult& r) { result = r; });
        QElapsedTimer clock;
        clock.start();
        uninstaller.performUninstall();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 5000); }();
        return {result.value_or(UninstallResult{{"<no result>"}, {}}), clock.elapsed()};
    }

private slots:
    void initTestCase() {
        m_busDaemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(m_busDaemon.waitForStarted());
        QTRY_VERIFY(m_busDaemon.canReadLine());
        m_busAddress = QString::fromUtf8(m_busDaemon.readLine().trimmed());
        QVERIFY(!m_busAddress.isEmpty());
    }

    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus("uninstaller");
        QDBusConnection::disconnectFromBus("fake-app");
        m_busDaemon.terminate();
        QVERIFY(m_busDaemon.waitForFinished());
    }

    void init() {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        QVERIFY(QDir().mkpath(home()));
        // The trash follows the process environment, as Qt reads it. The data home does not
        // exist yet, which Qt 6.4.2 mishandles unless it is created first.
        qputenv("HOME", QFile::encodeName(home()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home() + "/.local/share"));
    }

    void cleanup() {
        if (m_app) {
            QDBusConnection bus("fake-app");
            bus.unregisterService(bundleID);
            bus.unregisterObject(appObjectPath);
            m_app.reset();
        }
        m_root.reset();
    }

    void resultText_data() {
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("informative");
        QTest::newRow("all four")
            << QStringList{"the app", "saved worker configuration", "saved preferences", "log file"}
            << QStringList{} << "VXR Worker uninstalled"
            << "Removed: the app, saved worker configuration, saved preferences, log file.";
        QTest::newRow("one") << QStringList{"saved preferences"} << QStringList{}
                             << "VXR Worker uninstalled"
                             << "Removed: saved preferences.";
        QTest::newRow("nothing") << QStringList{} << QStringList{} << "Nothing to remove"
                                 << "VXR Worker doesn't appear to be installed on this computer.";
        QTest::newRow("nothing but a note")
            << QStringList{} << QStringList{"Left in /usr."} << "Nothing to remove"
            << "Left in /usr.";
        QTest::newRow("removed and a note")
            << QStringList{"log file"} << QStringList{"Left in /usr."} << "VXR Worker uninstalled"
            << "Removed: log file.\n\nLeft in /usr.";
    }
    void resultText() {
        QFETCH(QStringList, removed);
        QFETCH(QStringList, notes);
        QFETCH(QString, message);
        QFETCH(QString, informative);
        QCOMPARE(vxr::resultText({removed, notes}), (AlertText{message, informative}));
    }

    void confirmationDefaultsToUninstallAndEscapesToCancel() {
        const auto box = makeConfirmationBox();
        QCOMPARE(box->text(), "Uninstall VXR Worker?");
        QVERIFY(box->informativeText().endsWith("stored elsewhere on this computer are not "
                                                "touched."));
        QCOMPARE(box->defaultButton()->text(), "Uninstall");
        QCOMPARE(box->escapeButton()->text(), "Cancel");
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(makeResultBox({"a", "b"})->buttons().size(), 1);
    }

    void installDirFromDesktopEntry_data() {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QString>("dir");
        QTest::newRow("own key, escaped blank")
            << QByteArray("[Desktop Entry]\nExec=/usr/bin/VXRWorker\n"
                          "X-VXR-InstallDir=/opt/VXR\\sWorker/\n")
            << "/opt/VXR Worker";
        QTest::newRow("quoted Exec with blank")
            << QByteArray(
                   "[Desktop Entry]\nName=VXR Worker\nExec=\"/opt/VXR Worker/bin/VXRWorker\" %U\n")
            << "/opt/VXR Worker";
        QTest::newRow("plain Exec")
            << QByteArray("[Desktop Entry]\nExec=/opt/VXRWorker/bin/VXRWorker\n")
            << "/opt/VXRWorker";
        QTest::newRow("relative own key falls back to Exec")
            << QByteArray("[Desktop Entry]\nX-VXR-InstallDir=VXR\nExec=/usr/bin/VXRWorker\n")
            << "/usr";
        QTest::newRow("Exec found on PATH")
            << QByteArray("[Desktop Entry]\nExec=VXRWorker\n") << QString();
        QTest::newRow("other program")
            << QByteArray("[Desktop Entry]\nExec=/usr/bin/VXRWorkerX\n") << QString();
        QTest::newRow("key of an action group")
            << QByteArray("[Desktop Entry]\nExec=VXRWorker\n[Desktop Action quit]\n"
                          "Exec=/opt/VXRWorker/bin/VXRWorker --quit\nX-VXR-InstallDir=/opt/x\n")
            << QString();
        QTest::newRow("unterminated quote")
            << QByteArray("[Desktop Entry]\nExec=\"/opt/VXRWorker/bin/VXRWorker\n") << QString();
    }
    void installDirFromDesktopEntry() {
        QFETCH(QByteArray, entry);
        QFETCH(QString, dir);
        QCOMPARE(vxr::installDirFromDesktopEntry(entry).value_or(QString()), dir);
    }

    void cancelChangesNothing() {
        UninstallerEnvironment env = environment();
        makeInstallation(path("opt/VXRWorker"));
        makeLeftovers(env);
        startFakeApp();
        const auto before = snapshot(m_root->path());

        Uninstaller uninstaller(env);
        int shown = 0;
        int done = 0;
        confirmAndRun(
            uninstaller, [] { return false; }, [&shown](const AlertText&) { ++shown; },
            [&done] { ++done; });
        QCOMPARE(done, 1);
        QTest::qWait(100); // a quit request, had one been sent, would arrive by now
        QCOMPARE(shown, 0);
        QCOMPARE(m_app->actions, QStringList{});
        QCOMPARE(snapshot(m_root->path()), before);
    }

    void confirmedRunShowsTheResult() {
        UninstallerEnvironment env = environment();
        writeFile(env.settingsStorePath(), R"({"memoryCapPercent": 50})");
        Uninstaller uninstaller(env);
        QList<AlertText> shown;
        int done = 0;
        confirmAndRun(
            uninstaller, [] { return true; }, [&shown](const AlertText& t) { shown.append(t); },
            [&done] { ++done; });
        QTRY_COMPARE(done, 1);
        QCOMPARE(shown,
                 (QList<AlertText>{{"VXR Worker uninstalled", "Removed: saved preferences."}}));
    }

    void removesTheInstallationAndLeftovers_data() {
        QTest::addColumn<QString>("installDir");
        QTest::addColumn<QString>("desktopEntry"); // relative to the fake root, or empty
        QTest::addColumn<QByteArray>("entryContents");
        QTest::newRow("second fallback only") << "opt/VXRWorker" << QString() << QByteArray();
        QTest::newRow("user desktop entry, own key")
            << "apps/VXR Worker"
            << "home/.local/share/applications/network.quorbel.vxrworker.desktop"
            << QByteArray("[Desktop Entry]\nX-VXR-InstallDir=%1\n");
        QTest::newRow("system desktop entry, Exec")
            << "apps/vxr"
            << "usr/share/applications/network.quorbel.vxrworker.desktop"
            << QByteArray("[Desktop Entry]\nExec=\"%1/bin/VXRWorker\"\n");
    }
    void removesTheInstallationAndLeftovers() {
        QFETCH(QString, installDir);
        QFETCH(QString, desktopEntry);
        QFETCH(QByteArray, entryContents);
        UninstallerEnvironment env = environment();
        const QString install = path(installDir);
        makeInstallation(install);
        makeLeftovers(env);
        if (!desktopEntry.isEmpty())
            writeFile(path(desktopEntry), QString::fromUtf8(entryContents).arg(install).toUtf8());
        writeFile(env.autostartEntryPath(), "[Desktop Entry]\nExec=VXRWorker --hidden\n");

        const auto [result, elapsed] = uninstall(env);
        QCOMPARE(result.removed, (QStringList{"the app", "saved worker configuration",
                                              "start at login", "saved preferences", "log file"}));
        QVERIFY(!QFileInfo::exists(env.autostartEntryPath()));
        QCOMPARE(result.notes, QStringList{});

        // The installation lies in the freedesktop Trash with a valid info file.
        const QString trashDir = env.dataHome + "/Trash";
        const QString trashName = QFileInfo(install).fileName();
        QVERIFY(!QFileInfo::exists(install));
        QVERIFY(QFileInfo(trashDir + "/files/" + trashName + "/bin/VXRWorker").isFile());
        QVERIFY(QFileInfo(trashDir + "/files/" + trashName + "/bin/vxr-worker-ctl").isFile());
        QSettings info(trashDir + "/info/" + trashName + ".trashinfo", QSettings::IniFormat);
        QCOMPARE(info.childGroups(), QStringList{"Trash Info"});
        const QByteArray infoText = readFile(trashDir + "/info/" + trashName + ".trashinfo");
        const qsizetype pathAt = infoText.indexOf("\nPath=/");
        QVERIFY(pathAt > 0);
        const QByteArray encoded = infoText.mid(pathAt + 6).split('\n').first();
        QVERIFY(!encoded.contains(' ')); // percent-encoded
        QCOMPARE(QUrl::fromPercentEncoding(encoded), install);
        const QDateTime deleted =
            QDateTime::fromString(info.value("Trash Info/DeletionDate").toString(), Qt::ISODate);
        QVERIFY(deleted.isValid());
        QVERIFY(qAbs(deleted.secsTo(QDateTime::currentDateTime())) < 60);
        if (!desktopEntry.isEmpty()) {
            QVERIFY(!QFileInfo::exists(path(desktopEntry)));
            QVERIFY(QFileInfo::exists(trashDir + "/files/network.quorbel.vxrworker.desktop"));
        }

        QVERIFY(QFileInfo(trashDir + "/files/vxr-worker/config.json").isFile());
        QVERIFY(!QFileInfo::exists(env.workerConfigurationPath()));
        QCOMPARE(readFile(env.settingsStorePath()), "{}");
        QVERIFY(!QFileInfo::exists(env.processLogPath()));
        // Only what belongs to the uninstaller's list goes.
        QCOMPARE(readFile(home() + "/.vxr/localStorage/key"), "secret");
        QVERIFY(QFileInfo::exists(env.dataHome + "/VXR Worker/job-history.json"));
        QVERIFY(QFileInfo::exists(env.privateTempDir + "/vxr-worker.pid"));
        QVERIFY(!QFileInfo::exists(QDir::currentPath() + "/files/" + trashName));
    }

    void reportsOnlyWhatWasThere_data() {
        QTest::addColumn<QByteArray>("settings"); // empty: no settings file
        QTest::addColumn<bool>("workerConfiguration");
        QTest::addColumn<QStringList>("removed");
        QTest::newRow("nothing at all") << QByteArray() << false << QStringList{};
        QTest::newRow("empty settings store") << QByteArray("{}") << false << QStringList{};
        QTest::newRow("unreadable settings store")
            << QByteArray("{not json") << false << QStringList{};
        QTest::newRow("only the settings store") << QByteArray(R"({"yieldToOtherApps": false})")
                                                 << false << QStringList{"saved preferences"};
        QTest::newRow("only the worker configuration")
            << QByteArray() << true << QStringList{"saved worker configuration"};
    }
    void reportsOnlyWhatWasThere() {
        QFETCH(QByteArray, settings);
        QFETCH(bool, workerConfiguration);
        QFETCH(QStringList, removed);
        UninstallerEnvironment env = environment();
        if (!settings.isEmpty())
            writeFile(env.settingsStorePath(), settings);
        if (workerConfiguration)
            writeFile(env.workerConfigurationPath() + "/backup/x", "y");

        const auto [result, elapsed] = uninstall(env);
        QCOMPARE(result.removed, removed);
        QCOMPARE(result.notes, QStringList{});
        if (removed.contains("saved preferences"))
            QCOMPARE(readFile(env.settingsStorePath()), "{}");
        else if (!settings.isEmpty())
            QCOMPARE(readFile(env.settingsStorePath()), settings);
        if (removed.isEmpty())
            QCOMPARE(vxr::resultText(result).message, "Nothing to remove");
        // The data home did not exist before: the Trash must still be the one inside it.
        if (workerConfiguration)
            QVERIFY(QFileInfo(env.dataHome + "/Trash/files/vxr-worker/backup/x").isFile());
    }

    void sharedPrefixIsLeftInPlace_data() {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("viaDesktopEntry");
        QTest::newRow("~/.local") << "home/.local" << true;
        QTest::newRow("bin shared with other programs") << "opt/VXRWorker" << false;
    }
    void sharedPrefixIsLeftInPlace() {
        QFETCH(QString, prefix);
        QFETCH(bool, viaDesktopEntry);
        UninstallerEnvironment env = environment();
        const QString dir = path(prefix);
        makeInstallation(dir);
        writeFile(dir + "/bin/other-tool", "#!/bin/sh\n");
        if (viaDesktopEntry) {
            writeFile(env.dataHome + "/applications/network.quorbel.vxrworker.desktop",
                      "[Desktop Entry]\nExec=" + dir.toUtf8() + "/bin/VXRWorker\n");
        }

        const auto [result, elapsed] = uninstall(env);
        QCOMPARE(result.removed, QStringList{});
        QCOMPARE(result.notes.size(), 1);
        QVERIFY(result.notes.first().contains(dir));
        QVERIFY(QFileInfo(dir + "/bin/other-tool").isFile());
        QVERIFY(QFileInfo(dir + "/bin/VXRWorker").isFile());
        QCOMPARE(vxr::resultText(result).informativeText, result.notes.first());
        QVERIFY(isSharedPrefix("/usr/local", home()));
        QVERIFY(isSharedPrefix(home(), home()));
    }

    void quitsTheRunningAppOnce_data() {
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("quitWaitMs");
        QTest::newRow("running") << true << 300;
        QTest::newRow("not running") << false << 60000;
    }
    void quitsTheRunningAppOnce() {
        QFETCH(bool, running);
        QFETCH(int, quitWaitMs);
        UninstallerEnvironment env = environment();
        env.quitWait = std::chrono::milliseconds(quitWaitMs);
        if (running)
            startFakeApp();

        const auto [result, elapsed] = uninstall(env); // fails by timeout on a 60 s wait
        if (running) {
            QCOMPARE(m_app->actions, QStringList{"quit"});
            QVERIFY2(elapsed >= quitWaitMs, qPrintable(QString::number(elapsed)));
        }
        QCOMPARE(result.removed, QStringList{});
    }

    void logThatIsNotGoneIsNotReported_data() {
        QTest::addColumn<QString>("setup");
        QTest::newRow("log is a non-empty directory") << "directory";
        QTest::newRow("private directory open to others") << "open";
        QTest::newRow("private directory is a symlink") << "symlink";
    }
    void logThatIsNotGoneIsNotReported() {
        QFETCH(QString, setup);
        UninstallerEnvironment env = environment();
        QString logPath = env.processLogPath();
        const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        if (setup == "directory") {
            writeFile(logPath + "/inner", "x");
            QFile::setPermissions(env.privateTempDir, ownerOnly);
        } else if (setup == "open") {
            writeFile(logPath, "log");
            QFile::setPermissions(env.privateTempDir,
                                  ownerOnly | QFile::ReadOther | QFile::ExeOther);
        } else {
            const QString real = path("elsewhere");
            logPath = real + "/vxrwork-processes.log";
            writeFile(logPath, "log");
            QFile::setPermissions(real, ownerOnly);
            QVERIFY(QDir().mkpath(path("tmp")));
            QVERIFY(QFile::link(real, env.privateTempDir));
        }

        const auto [result, elapsed] = uninstall(env);
        QCOMPARE(result.removed, QStringList{});
        QVERIFY(QFileInfo::exists(logPath));
    }

    void installManifestIsRefusedWhenItPointsOutside_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("files"); // empty: refused
        QTest::newRow("plain") << QByteArray("bin/VXRWorker\n\n# note\nshare/x\nbin/VXRWorker\n")
                               << QStringList{"bin/VXRWorker", "share/x",
                                              "share/vxr-worker/installed-files"};
        QTest::newRow("leaves the prefix")
            << QByteArray("bin/VXRWorker\nbin/../../Documents\n") << QStringList{};
        QTest::newRow("absolute") << QByteArray("bin/VXRWorker\n/home/me\n") << QStringList{};
        QTest::newRow("the prefix itself")
            << QByteArray("bin/VXRWorker\nbin/..\n") << QStringList{};
        QTest::newRow("not the app's") << QByteArray("bin/other\n") << QStringList{};
    }
    void installManifestIsRefusedWhenItPointsOutside() {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, files);
        QCOMPARE(parseInstallManifest(text).value_or(QStringList{}), files);
    }

    // dpkg-query's own answers, and a real query of a file dpkg itself installed.
    void packageOwnerFromDpkg() {
        const QByteArray output = "diversion by x from: /usr/bin/VXRWorker\n"
                                  "vxr-worker:amd64, other: /usr/bin/VXRWorker\n"
                                  "vxr-worker: /usr/bin/VXRWorker-old\n";
        QCOMPARE(packagesOwningInOutput(output, "/usr/bin/VXRWorker"), "vxr-worker:amd64 other");
        QCOMPARE(packagesOwningInOutput(output, "/usr/bin"), "");
        if (QStandardPaths::findExecutable("dpkg-query").isEmpty())
            QSKIP("dpkg-query is missing");
        QVERIFY(packageOwning("/usr/bin/dpkg").startsWith("dpkg"));
        QCOMPARE(packageOwning(path("opt/nothing")), "");
    }

    // The uninstaller looks where the app wrote: same rule for TMPDIR, and the fresh
    // directories the app falls back to when its usual one was taken.
    void findsTheProcessLogWhereTheAppWroteIt_data() {
        QTest::addColumn<QString>("tmpDir");
        QTest::newRow("unset") << QString();
        QTest::newRow("relative") << "relative/tmp";
        QTest::newRow("trailing slash") << "tmp/";
    }
    void findsTheProcessLogWhereTheAppWroteIt() {
        QFETCH(QString, tmpDir);
        const QString value = tmpDir.startsWith("tmp") ? path(tmpDir) : tmpDir;
        QVERIFY(QDir().mkpath(path("tmp")));
        const QString expected = QDir::cleanPath(privateTempDirectory(value));
        QCOMPARE(UninstallerEnvironment::privateTempDirFor(value), expected);

        // A directory planted at the usual path: the app writes to a fallback instead.
        UninstallerEnvironment env = environment();
        const QString planted = path("tmp/vxr-worker-%1").arg(::geteuid());
        env.privateTempDir = planted;
        QVERIFY(QDir().mkpath(planted));
        QFile::setPermissions(planted, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadOther | QFile::ExeOther);
        const QString fallback = QDir::cleanPath(privateTempDirectory(path("tmp")));
        QVERIFY(fallback.startsWith(planted + "-"));
        writeFile(fallback + "/vxrwork-processes.log.1", "[worker] hello\n");
        QCOMPARE(env.privateTempDirs(), (QStringList{planted, fallback}));
        QCOMPARE(uninstall(env).first.removed, QStringList{"log file"});
        QVERIFY(!QFileInfo::exists(fallback + "/vxrwork-processes.log.1"));
    }

    // Only what the manifest lists goes, wherever the install was found; what the
    // prefix holds besides stays.
    void removesExactlyWhatWasInstalled_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QString>("note"); // a fragment of the one note, or empty for none
        QTest::newRow("dedicated prefix, by desktop entry")
            << "dedicated" << QStringList{"the app"} << QString();
        QTest::newRow("shared prefix beside the running uninstaller")
            << "shared" << QStringList{"the app"} << QString();
        QTest::newRow("installed by the package manager")
            << "package" << QStringList{} << "sudo apt remove vxr-worker";
        QTest::newRow("symlink to a dedicated prefix")
            << "link" << QStringList{"the app"} << "both were removed";
        QTest::newRow("symlink to a shared prefix")
            << "link to shared" << QStringList{"the app"} << "the link and those files were left";
        QTest::newRow("a file that cannot be trashed")
            << "stuck" << QStringList{} << "6 of the 6 files";
    }
    void removesExactlyWhatWasInstalled() {
        QFETCH(QString, layout);
        QFETCH(QStringList, removed);
        QFETCH(QString, note);
        UninstallerEnvironment env = environment();
        const bool shared = layout.contains("shared") || layout == "stuck";
        const QString prefix = path(shared ? "home/opt" : "apps/vxr-1.0");
        makeManifestInstallation(prefix);
        const QStringList foreign{"bin/other-tool", "lib/libother.so", "share/doc/other/README",
                                  "notes.txt"};
        if (shared) {
            for (const QString& file : foreign)
                writeFile(prefix + "/" + file, "theirs");
        }
        QString named = prefix; // what the desktop entry names
        if (layout.startsWith("link")) {
            named = path("home/vxr");
            QVERIFY(QFile::link(prefix, named));
        }
        if (layout == "shared" || layout == "stuck")
            env.selfExecutable = prefix + "/bin/UninstallVXRWorker";
        else
            writeFile(env.dataHome + "/applications/network.quorbel.vxrworker.desktop",
                      "[Desktop Entry]\nExec=" + named.toUtf8() + "/bin/VXRWorker\n");
        QStringList askedAbout;
        env.packageOwner = [&](const QString& file) {
            askedAbout.append(file);
            return layout == "package" ? QString("vxr-worker") : QString();
        };
        if (layout == "stuck") // no Trash can be made where a file is in the way
            writeFile(env.dataHome + "/Trash", "in the way");
        const auto before = snapshot(prefix);
        const QString canonicalPrefix = QFileInfo(prefix).canonicalFilePath();

        const auto [result, elapsed] = uninstall(env);
        QCOMPARE(result.removed, removed);
        QCOMPARE(askedAbout, QStringList{canonicalPrefix + "/bin/VXRWorker"});
        if (note.isEmpty())
            QCOMPARE(result.notes, QStringList{});
        else
            QVERIFY2(result.notes.size() == 1 && result.notes.first().contains(note),
                     qPrintable(result.notes.join('|')));
        if (layout == "package" || layout == "stuck") {
            QCOMPARE(snapshot(prefix), before);
            QVERIFY(!QFileInfo::exists(QDir::currentPath() + "/files/VXRWorker"));
            return;
        }
        QCOMPARE(QFileInfo::exists(prefix), shared);
        QCOMPARE(QFileInfo(named).isSymLink(), layout == "link to shared");
        if (shared) {
            for (const QString& file : foreign)
                QCOMPARE(readFile(prefix + "/" + file), "theirs");
            // Ours are in the Trash, and the folders only we used are gone.
            QCOMPARE(QFileInfo::exists(prefix + "/bin/VXRWorker"), false);
            QVERIFY(QFileInfo(env.dataHome + "/Trash/files/VXRWorker").isFile());
            QCOMPARE(QFileInfo::exists(prefix + "/share/vxr-worker"), false);
            QCOMPARE(QFileInfo::exists(prefix + "/share/icons"), false);
            QCOMPARE(QFileInfo::exists(prefix + "/share/applications"), false);
        }
    }
};

QTEST_MAIN(TestUninstaller)
#include "test_uninstaller.moc"
