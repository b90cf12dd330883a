// The Debian package as a user gets it: made by tools/package, unpacked into a scratch
// root, its metadata checked by the desktop's own validators, and its VXRWorker run
// against a stand-in worker installed elsewhere.

#include "e2e/app_harness.h"

#include <QStandardPaths>

using namespace e2e;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray output; // standard output
    QByteArray errors; // standard error
};

Run runProgram(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    endWithTestProcess(process, SIGKILL);
    process.start(program, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(240000)) {
        process.kill();
        process.waitForFinished(3000);
        return {-1, process.readAllStandardOutput(), process.readAllStandardError()};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QStringList filesBelow(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

} // namespace

class TestE2EPackage : public QObject {
    Q_OBJECT

    SessionBus m_bus;
    QTemporaryDir m_scratch;
    QString m_package;
    QString root() const { return m_scratch.filePath(QStringLiteral("root")); }
    QString prefix() const { return root() + QStringLiteral("/usr"); }

private slots:
    void initTestCase() {
        requireProgramAndBus(m_bus);
        for (const char* tool : {"cpack", "dpkg-deb", "dpkg-shlibdeps"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is missing").arg(QLatin1String(tool))));
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VXR_BUILD_DIR"), QStringLiteral(VXR_BINARY_DIR));
        env.insert(QStringLiteral("VXR_PACKAGE_DIR"), m_scratch.filePath(QStringLiteral("out")));
        const Run package = runProgram(QStringLiteral(VXR_SOURCE_DIR "/tools/package"),
                                       {QStringLiteral("--no-build")}, env);
        QVERIFY2(package.exitCode == 0, package.errors.constData());
        m_package = QString::fromUtf8(package.output.trimmed().split('\n').last());
        QVERIFY2(m_package.endsWith(QLatin1String(".deb")), qPrintable(m_package));
        const Run unpack = runProgram(QStringLiteral("dpkg-deb"), {"-x", m_package, root()});
        QVERIFY2(unpack.exitCode == 0, unpack.errors.constData());
    }

    // The product and nothing else, every file listed in the manifest, and the run-time
    // dependencies a plain Debian 12 needs.
    void packageHoldsTheProductAndItsManifest() {
        const QStringList files = filesBelow(prefix());
        for (const char* file : {"bin/VXRWorker", "bin/UninstallVXRWorker", "bin/vxr-worker-ctl",
                                 "share/applications/network.quorbel.vxrworker.desktop",
                                 "share/metainfo/network.quorbel.vxrworker.metainfo.xml",
                                 "share/icons/hicolor/symbolic/apps/"
                                 "network.quorbel.vxrworker-symbolic.svg"})
            QVERIFY2(files.contains(QLatin1String(file)), file);
        QVERIFY(!QFileInfo::exists(prefix() + QStringLiteral("/lib/vxr-worker")));

        QFile manifest(prefix() + QStringLiteral("/share/vxr-worker/installed-files"));
        QVERIFY(manifest.open(QIODevice::ReadOnly));
        QStringList listed =
            QString::fromUtf8(manifest.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        listed.sort();
        QCOMPARE(listed, files);

        const Run control = runProgram(QStringLiteral("dpkg-deb"), {"-f", m_package});
        QVERIFY(control.output.contains("Package: vxr-worker\n"));
        for (const char* dependency : {"libqt6core6", "libqt6quick6",
                                       "qml6-module-qtquick-controls", "qml6-module-qtwebengine"})
            QVERIFY2(control.output.contains(dependency), dependency);
    }

    void installedMetadataValidates_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("file");
        QTest::newRow("desktop entry") << "desktop-file-validate" << QStringList{}
                                       << "share/applications/network.quorbel.vxrworker.desktop";
        QTest::newRow("metainfo") << "appstreamcli" << QStringList{"validate", "--no-net"}
                                  << "share/metainfo/network.quorbel.vxrworker.metainfo.xml";
    }
    void installedMetadataValidates() {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        QFETCH(QString, file);
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(
                qPrintable(tool + QStringLiteral(" is missing (tools/install-deps installs it)")));
        const Run check = runProgram(tool, arguments << prefix() + QLatin1Char('/') + file);
        QVERIFY2(check.exitCode == 0, (check.output + check.errors).constData());
    }

    // The unpacked program finds a worker installed apart and supervises it.
    void installedAppRunsAgainstAStandInInstalledApart() {
        const QString standIn = m_scratch.filePath(QStringLiteral("standin"));
        const Run install = runProgram(
            QStringLiteral(VXR_CMAKE_COMMAND),
            {"--install", VXR_BINARY_DIR, "--component", "standin", "--prefix", standIn});
        QVERIFY2(install.exitCode == 0, install.errors.constData());

        auto app = std::make_unique<AppHarness>();
        app->setEnv(QStringLiteral("VXR_WORKER_DIR"), standIn + QStringLiteral("/lib/vxr-worker"));
        QVERIFY(app->start(m_bus, prefix() + QStringLiteral("/bin/VXRWorker")));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.appRegistered(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(app->services().size(), 1, 10000);
        QVERIFY(
            procFile(app->services().first().pid, "cmdline").contains(QFile::encodeName(standIn)));
        QVERIFY(m_bus.action(QStringLiteral("quit")));
        QVERIFY(app->waitForExit(10000));
        QCOMPARE(app->exitCode(), 0);
        endWorld(app, m_bus);
    }
};

QTEST_MAIN(TestE2EPackage)
#include "test_e2e_package.moc"
