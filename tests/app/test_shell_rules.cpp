// The rules the screens show: button label, earnings line, formats, tab
// enablement, build information and the sandbox rows' model.

#include "app/build_info.h"
#include "app/detached_window.h"
#include "app/settings_screen_logic.h"
#include "app/shell_rules.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace vxr;

Q_DECLARE_METATYPE(vxr::ComputeState)

class TestShellRules : public QObject {
    Q_OBJECT

private slots:
    void crosshairLabel_data() {
        QTest::addColumn<bool>("stopping");
        QTest::addColumn<bool>("manual");
        QTest::addColumn<bool>("idleRule");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("label");
        QTest::newRow("auto") << false << false << true << false << "Auto";
        QTest::newRow("running on idle") << false << false << true << true << "Running";
        QTest::newRow("manual") << false << true << true << true << "Stop";
        QTest::newRow("manual, not yet running") << false << true << false << false << "Stop";
        QTest::newRow("no idle rule, still running") << false << false << false << true << "Start";
        QTest::newRow("no idle rule") << false << false << false << false << "Start";
        QTest::newRow("stopping wins") << true << true << true << true << "Stopping…";
        QTest::newRow("stopping, nothing else") << true << false << false << false << "Stopping…";
    }
    void crosshairLabel() {
        QFETCH(bool, stopping);
        QFETCH(bool, manual);
        QFETCH(bool, idleRule);
        QFETCH(bool, running);
        QFETCH(QString, label);
        QCOMPARE(vxr::crosshairLabel(stopping, manual, idleRule, running), label);
        QCOMPARE(ShellRules::crosshairEnabled(stopping, true), !stopping);
        QVERIFY(!ShellRules::crosshairEnabled(stopping, false)); // nothing to start
    }

    // The tray's first item says what a press does; the tooltip and the line under
    // "Auto" say what the app is doing.
    void trayWords_data() {
        QTest::addColumn<ComputeState>("state");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("status");
        const ComputeState idle{false, false, true, false, true, false, 5, 0};
        ComputeState manual = idle;
        manual.manualOverride = true;
        ComputeState manualOnly = manual;
        manualOnly.idleRestrictionEnabled = false;
        ComputeState computing = manual;
        computing.evaluatorsRunning = true;
        computing.sandboxes = 2;
        ComputeState battery = idle;
        battery.pausedOnBattery = true;
        ComputeState noService = idle;
        noService.serviceRunning = false;
        ComputeState stopping = computing;
        stopping.isStopping = true;
        ComputeState off = idle;
        off.idleRestrictionEnabled = false;
        QTest::newRow("waiting") << idle << "Start computing"
                                 << "Waiting for idle: starts after 5 min away";
        QTest::newRow("manual with idle rule") << manual << "Resume automatic start"
                                               << "Starting…";
        QTest::newRow("manual only") << manualOnly << "Stop computing"
                                     << "Starting…";
        QTest::newRow("computing") << computing << "Resume automatic start"
                                   << "Computing: 2 sandboxes";
        QTest::newRow("on battery") << battery << "Start computing"
                                    << "Paused: on battery";
        QTest::newRow("no service") << noService << "Start computing"
                                    << "Worker service not running";
        QTest::newRow("stopping") << stopping << "Stopping…"
                                  << "Stopping…";
        QTest::newRow("off") << off << "Start computing"
                             << "Not computing";
    }
    void trayWords() {
        QFETCH(ComputeState, state);
        QFETCH(QString, action);
        QFETCH(QString, status);
        QCOMPARE(trayActionLabel(state), action);
        QCOMPARE(computeStatusText(state), status);
        QVERIFY(trayPanelUsable("xcb") && !trayPanelUsable("wayland"));
        QCOMPARE(settings_screen::idleStatusText(130.7, "GNOME Mutter"),
                 "Idle for 2 min 10 s (GNOME Mutter)");
        QCOMPARE(settings_screen::idleStatusText(3725, "X11"), "Idle for 1 h 2 min (X11)");
    }

    void earningsLine_data() {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("shown");
        QTest::newRow("10 characters whole") << "0123456789"
                                             << "0123456789";
        QTest::newRow("11 characters cut") << "0123456789a"
                                           << "0123456789…";
        QTest::newRow("long") << "0xa1b2c3d4e5f60718"
                              << "0xa1b2c3d4…";
        QTest::newRow("short") << "abc"
                               << "abc";
    }
    void earningsLine() {
        QFETCH(QString, account);
        QFETCH(QString, shown);
        QCOMPARE(accountText(account), shown);
        const QString html = ShellRules::depositLineHtml(1.23456, account);
        QVERIFY2(html.contains(shown.toUpper().toHtmlEscaped()), qPrintable(html));
        QVERIFY(html.contains(QStringLiteral("1.235")));
        QVERIFY(html.contains(QStringLiteral("⊇ DEPOSITED TO")));
    }

    void formats() {
        QCOMPARE(earningsText(0), "0.000");
        QCOMPARE(earningsText(12.3456), "12.346");
        QCOMPARE(earningsText(0.0625), "0.062"); // a tie, as printf rounds it
        QCOMPARE(slicesText(118, 160), "118/160 SLICES");
        QCOMPARE(slicesText(9'000'000'000LL, 9'000'000'001LL), "9000000000/9000000001 SLICES");
        QCOMPARE(percentText(73.75), "73.8%");
        QCOMPARE(percentText(100), "100.0%");
        // Markup in an account must not become markup on screen.
        QVERIFY(!ShellRules::depositLineHtml(1, QStringLiteral("<b>x"))
                     .contains(QStringLiteral("<B>")));
    }

    void logsTab() {
        const QUrl url(QStringLiteral("http://localhost:9080/hud/small-dark.html"));
        QVERIFY(!logsAvailable(QUrl()));
        QVERIFY(logsAvailable(url));
        QCOMPARE(tabAfterWorkerURLChange(NavTab::logs, QUrl()), NavTab::home);
        QCOMPARE(tabAfterWorkerURLChange(NavTab::logs, url), NavTab::logs);
        QCOMPARE(tabAfterWorkerURLChange(NavTab::jobs, QUrl()), NavTab::jobs);
    }

    void buildInfoLookup() {
        const QVariantMap dictionary{
            {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.2.3")},
            {QStringLiteral("VXRNodeVersion"), 20},
            {QStringLiteral("VXRReleaseDate"), QDate(2026, 1, 2)},
        };
        QCOMPARE(BuildInfo::string(dictionary, QStringLiteral("CFBundleShortVersionString")),
                 "1.2.3");
        QCOMPARE(BuildInfo::string(dictionary, QStringLiteral("VXRNodeVersion")), "unknown");
        QCOMPARE(BuildInfo::string(dictionary, QStringLiteral("VXRReleaseDate")), "unknown");
        QCOMPARE(BuildInfo::string(dictionary, QStringLiteral("VXRDawnVersion")), "unknown");
    }

    // What the worker installation declares, read at run time; anything odd declares
    // nothing, and a FIFO in the file's place does not block.
    void buildInfoFromTheWorkerInstallation() {
        const QVariantMap declared = BuildInfo::workerDeclaredVersions(
            R"({"node": "20.11.1", "v8": 11, "dawn": " ", "vxr-worker": "4.2.0", "other": "1"})");
        QCOMPARE(declared,
                 (QVariantMap{{"VXRNodeVersion", "20.11.1"}, {"VXRWorkerLibVersion", "4.2.0"}}));
        QCOMPARE(BuildInfo::workerDeclaredVersions("[\"node\"]"), QVariantMap{});

        QTemporaryDir worker;
        QFile file(worker.filePath(BuildInfo::workerVersionsFile));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"vxr-native": "0.9"})");
        file.close();
        QVariantMap values = BuildInfo::dictionary(worker.path());
        QCOMPARE(values.value("VXRNativeVersion"), "0.9");
        QCOMPARE(values.value("QtRuntimeVersion"), QString::fromLatin1(qVersion()));
        QVERIFY(values.contains("CFBundleShortVersionString"));

        QVERIFY(file.remove());
        QCOMPARE(::mkfifo(QFile::encodeName(file.fileName()).constData(), 0600), 0);
        values = BuildInfo::dictionary(worker.path());
        QVERIFY(!values.contains("VXRNativeVersion"));
    }

    void buildInfoReadOnce() {
        int reads = 0;
        QVariantMap source{{QStringLiteral("VXRV8Version"), QStringLiteral("11.3")}};
        BuildInfoCache cache([&] {
            ++reads;
            return source;
        });
        QCOMPARE(cache.string(QStringLiteral("VXRV8Version")), "11.3");
        source.insert(QStringLiteral("VXRV8Version"), QStringLiteral("12.0"));
        QCOMPARE(cache.string(QStringLiteral("VXRV8Version")), "11.3");
        QCOMPARE(cache.string(QStringLiteral("VXRNativeVersion")), "unknown");
        QCOMPARE(reads, 1);
    }

    void buildInfoRowsInTableOrder() {
        QStringList labels;
        for (const auto& row : BuildInfo::rows())
            labels << row.label;
        QCOMPARE(labels,
                 (QStringList{"VXR Worker", "Release date", "Node", "V8", "uvwasi (WASI)",
                              "WebGPU (Dawn)", "vxr-client", "vxr-worker", "vxr-native", "Qt"}));
        QCOMPARE(AboutInfo::versionRows().size(), 10);
        QVERIFY(AboutInfo::policyURL().endsWith(QStringLiteral("/legal/worker-aup.html")));
        const QVariantList contacts = AboutInfo::contactRows();
        QCOMPARE(contacts.size(), 2);
        const auto technical = contacts.first().value<AboutRow>();
        QVERIFY(technical.html.contains(QStringLiteral("mailto:") + technical.value));
    }

    void savedFrameText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("frame");
        QTest::newRow("frame") << "10 -20 720 620" << QRect(10, -20, 720, 620);
        QTest::newRow("empty") << "" << QRect();
        QTest::newRow("three numbers") << "1 2 3" << QRect();
        QTest::newRow("not a number") << "1 2 x 4" << QRect();
        QTest::newRow("no size") << "1 2 0 4" << QRect();
    }
    void savedFrameText() {
        QFETCH(QString, text);
        QFETCH(QRect, frame);
        QCOMPARE(DetachedWindow::parseFrame(text), frame);
        if (frame.isValid())
            QCOMPARE(DetachedWindow::frameText(frame), text);
    }
};

QTEST_GUILESS_MAIN(TestShellRules)
#include "test_shell_rules.moc"
