#include "app/settings_screen_logic.h"

#include <QTest>

using namespace vxr;
using namespace vxr::settings_screen;
using Kind = RegistrationStatus::Kind;

Q_DECLARE_METATYPE(vxr::RegistrationStatus)

class TestSettingsScreenLogic : public QObject {
    Q_OBJECT

private slots:
    void steppersClampToTheirBounds() {
        // The cap steps by 5 but never below 25: 27 goes to 25, not 22.
        QCOMPARE(memoryCapStepper.decremented(27), 25.0);
        QCOMPARE(memoryCapStepper.incremented(88), 90.0);
        QVERIFY(!memoryCapStepper.canDecrement(25));
        QVERIFY(!memoryCapStepper.canIncrement(90));
        QVERIFY(memoryCapStepper.canIncrement(85));

        QCOMPARE(headroomStepper.incremented(3.8), 4.0);
        QCOMPARE(headroomStepper.decremented(0.7), 0.5);
        QVERIFY(!headroomStepper.canIncrement(4));
        QVERIFY(!headroomStepper.canDecrement(0.5));

        QCOMPARE(idleThresholdStepper.incremented(60), 60.0);
        QVERIFY(!idleThresholdStepper.canIncrement(60));
        QVERIFY(!idleThresholdStepper.canIncrement(75)); // stored above the range
        QVERIFY(!idleThresholdStepper.canDecrement(1));
    }

    void thresholdStoredBelowRange() {
        // 0.5 minutes, set elsewhere: shown as 0, and minus brings it to 1.
        QCOMPARE(idleThresholdText(0.5), QStringLiteral("0 MIN"));
        QVERIFY(idleThresholdStepper.canDecrement(0.5));
        QCOMPARE(idleThresholdStepper.decremented(0.5), 1.0);
        QCOMPARE(idleThresholdText(5), QStringLiteral("5 MIN"));
        QCOMPARE(idleThresholdText(59.9), QStringLiteral("59 MIN"));
    }

    void sandboxesAgainstProcessorCount() {
        const Stepper four = sandboxesStepper(4);
        QVERIFY(!four.canDecrement(1));
        QVERIFY(four.canDecrement(2));
        QCOMPARE(four.decremented(2), 1.0);
        QVERIFY(four.canIncrement(3));
        QCOMPARE(four.incremented(3), 4.0);
        QVERIFY(!four.canIncrement(4));
        QVERIFY(!four.canIncrement(6)); // more than this machine has, from another machine
        QCOMPARE(four.decremented(6), 5.0);
        // One processor: neither button does anything at 1.
        QVERIFY(!sandboxesStepper(1).canIncrement(1));
        QVERIFY(!sandboxesStepper(0).canIncrement(1));
        QCOMPARE(sandboxesCaption(6),
                 QStringLiteral("Most slices at once; 6 is one per performance core. Changing it "
                                "restarts the worker, and slices in progress go back to the "
                                "scheduler."));
    }

    void memoryLabels() {
        const double sixteenGiB = 16.0 * (1ULL << 30);
        QCOMPARE(memoryCapText(50, sixteenGiB), QStringLiteral("50% · 8.0 GB"));
        QCOMPARE(memoryCapText(25, 15.6 * (1ULL << 30)), QStringLiteral("25% · 3.9 GB"));
        QCOMPARE(memoryCapText(50, 0), QStringLiteral("50% · 0.0 GB"));
        QCOMPARE(headroomText(4), QStringLiteral("4.0 GB"));
        QCOMPARE(headroomText(1.5), QStringLiteral("1.5 GB"));
        QCOMPARE(headroomText(0.25), QStringLiteral("0.2 GB")); // a tie, as printf rounds it
    }

    void idleSection() {
        QVERIFY(showsIdleThreshold(true, true));
        QVERIFY(!showsIdleThreshold(true, false));
        QVERIFY(!showsIdleThreshold(false, true));
        QVERIFY(
            idleCaption(true, true).startsWith(QStringLiteral("Workloads start automatically")));
        QCOMPARE(
            idleCaption(true, false),
            QStringLiteral("Start/Stop on the main screen directly controls compute activity."));
        const QString unavailable = QStringLiteral(
            "Idle detection is not available on this desktop; use Start/Stop on the main screen.");
        QCOMPARE(idleCaption(false, true), unavailable);
        QCOMPARE(idleCaption(false, false), unavailable);
    }

    void registerRules() {
        QVERIFY(!canRegister(QString(), RegistrationStatus::notRegistered()));
        QVERIFY(canRegister(QStringLiteral("key"), RegistrationStatus::notRegistered()));
        QVERIFY(canRegister(QStringLiteral("key"), RegistrationStatus::failed("x")));
        QVERIFY(!canRegister(QStringLiteral("key"), RegistrationStatus::registering()));

        QVERIFY(checksOnAppearance(RegistrationStatus::unknown()));
        for (const RegistrationStatus& other :
             {RegistrationStatus::checking(), RegistrationStatus::registering(),
              RegistrationStatus::notRegistered(), RegistrationStatus::registered("0xabc"),
              RegistrationStatus::failed("boom")})
            QVERIFY(!checksOnAppearance(other));
    }

    void statusRows_data() {
        QTest::addColumn<RegistrationStatus>("status");
        QTest::addColumn<bool>("applying");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("dim");
        using Icon = StatusRow::Icon;
        const QString owner = QStringLiteral("0x1234567890abcdef");
        QTest::newRow("registered") << RegistrationStatus::registered(owner) << false
                                    << int(Icon::checkmark) << "Registered to 0x12345678…" << false;
        QTest::newRow("short owner keeps the ellipsis")
            << RegistrationStatus::registered("0xab") << false << int(Icon::checkmark)
            << "Registered to 0xab…" << false;
        QTest::newRow("registered, restarting")
            << RegistrationStatus::registered(owner) << true << int(Icon::spinner)
            << "Registered to 0x12345678…, worker restarts in about a minute" << true;
        QTest::newRow("failed") << RegistrationStatus::failed("Key rejected") << false
                                << int(Icon::warning) << "Key rejected" << false;
        QTest::newRow("checking") << RegistrationStatus::checking() << false << int(Icon::none)
                                  << "Checking…" << true;
        QTest::newRow("registering") << RegistrationStatus::registering() << true << int(Icon::none)
                                     << "Registering…" << true;
        QTest::newRow("not registered") << RegistrationStatus::notRegistered() << false
                                        << int(Icon::cross) << "Not registered" << true;
        QTest::newRow("unknown") << RegistrationStatus::unknown() << false << int(Icon::none)
                                 << "Unknown" << true;
    }
    void statusRows() {
        QFETCH(RegistrationStatus, status);
        QFETCH(bool, applying);
        QFETCH(int, icon);
        QFETCH(QString, text);
        QFETCH(bool, dim);
        const StatusRow row = statusRow(status, applying);
        QCOMPARE(int(row.icon), icon);
        QCOMPARE(row.text, text);
        QCOMPARE(row.dim, dim);
    }

    void resetRow() {
        const RegistrationStatus mismatch =
            RegistrationStatus::failed("Registration failed: owner mismatch for worker");
        QVERIFY(needsReset(mismatch));
        QVERIFY(showsResetRow(mismatch, false, false));
        QVERIFY(resetCaption(mismatch).startsWith(QStringLiteral("This error means")));

        const RegistrationStatus other = RegistrationStatus::failed("Owner MISMATCH");
        QVERIFY(!needsReset(other)); // the test is case-sensitive
        QVERIFY(showsResetRow(other, false, false));
        QVERIFY(resetCaption(other).startsWith(QStringLiteral("If registration keeps failing")));

        const RegistrationStatus registered = RegistrationStatus::registered("0xabcdef0123");
        QVERIFY(!showsResetRow(registered, false, false));
        QVERIFY(showsResetRow(registered, true, false));
        QVERIFY(showsResetRow(registered, false, true));
        QVERIFY(!needsReset(registered));

        QCOMPARE(resetButtonLabel(false), QStringLiteral("RESET WORKER ID"));
        QCOMPARE(resetButtonLabel(true), QStringLiteral("RESETTING…"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsScreenLogic)
#include "test_settings_screen_logic.moc"
