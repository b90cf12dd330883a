// The settings, metrics and jobs screens against the real controller, governor,
// sampler and job history: what they ask of them and what they show.

#include "screenshots/screen_scenes.h"
#include "support/screen_controller.h"

#include "app/metrics_text.h"
#include "app/segmented_bar.h"
#include "app/settings_rules.h"
#include "app/vxr_theme.h"

#include <QAccessible>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(VXR_AppPlugin)

using vxr::RegistrationStatus;
using vxr::test::ControllerAccess;
using vxr::test::ScreenController;

namespace {

QQuickItem* findIn(QQuickItem* item, const QString& name) {
    if (item->objectName() == name)
        return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* found = findIn(child, name))
            return found;
    return nullptr;
}

// The worker program's runs with the given first argument ("--show=owner", …).
qsizetype runsOf(const ScreenController& controller, const QString& command) {
    qsizetype count = 0;
    for (const QStringList& arguments : controller.worker()->starts(QStringLiteral("service")))
        count += arguments.value(0).startsWith(command) ? 1 : 0;
    return count;
}

// The settings screen's status row as drawn.
vxr::StatusRowView statusRow(QQuickItem* screen) {
    return findIn(screen, QStringLiteral("registrationStatusRow"))
        ->property("row")
        .value<vxr::StatusRowView>();
}

} // namespace

class TestScreens : public QObject {
    Q_OBJECT

    QQmlEngine m_engine;
    QQuickWindow m_window;

public:
    TestScreens() {
        // Qt 6.4 does not look for compiled-in modules under qrc:/ by itself.
        m_engine.addImportPath(QStringLiteral("qrc:/"));
    }

private:
    // Creates the screen with what it shows set before Component.onCompleted runs.
    std::unique_ptr<QQuickItem> create(const char* type, const QString& property, QObject* shown) {
        QQmlComponent component(&m_engine);
        component.setData(QByteArray("import QtQuick\nimport VXR.App\n") + type +
                              " { width: 640; height: 1200 }",
                          QUrl());
        auto* item = qobject_cast<QQuickItem*>(component.createWithInitialProperties(
            {{property, QVariant::fromValue(shown)}}, m_engine.rootContext()));
        if (!item) {
            qWarning() << component.errors();
            return nullptr;
        }
        item->setParentItem(m_window.contentItem());
        return std::unique_ptr<QQuickItem>(item);
    }
    std::unique_ptr<QQuickItem> settings(const ScreenController& controller) {
        return create("SettingsView", QStringLiteral("controller"), controller.get());
    }

    static QQuickItem* find(const std::unique_ptr<QQuickItem>& screen, const char* name) {
        return screen ? findIn(screen.get(), QLatin1String(name)) : nullptr;
    }

    static void press(QQuickItem* button) { QMetaObject::invokeMethod(button, "clicked"); }

private slots:
    void settingsChecksRegistrationOnceWhenUnknown() {
        ScreenController controller;
        // The controller's own check at start-up first.
        QTRY_VERIFY(controller->registrationStatus().kind != RegistrationStatus::Kind::checking);
        ControllerAccess::setRegistrationStatus(*controller, RegistrationStatus::unknown());
        const qsizetype checks = runsOf(controller, QStringLiteral("--show=owner"));
        auto screen = settings(controller);
        QVERIFY(screen);
        QCOMPARE(statusRow(screen.get()).text, QStringLiteral("Checking…"));
        QTRY_COMPARE(runsOf(controller, QStringLiteral("--show=owner")), checks + 1);
        screen.reset();

        // Any status but unknown: no check.
        ControllerAccess::setRegistrationStatus(
            *controller, RegistrationStatus::registered("0x9c2d41e07b55a3f8"));
        screen = settings(controller);
        const vxr::StatusRowView row = statusRow(screen.get());
        QCOMPARE(row.text, QStringLiteral("Registered to 0x9c2d41e0…"));
        QVERIFY(!row.spinner && !row.iconPath.isEmpty());
        QCOMPARE(row.iconColor, vxr::VXRTheme::accentLight());
        QTest::qWait(50);
        QCOMPARE(runsOf(controller, QStringLiteral("--show=owner")), checks + 1);
    }

    void registerOnlyWithKeyAndNotWhileRegistering() {
        ScreenController controller;
        QTRY_VERIFY(controller->registrationStatus().kind != RegistrationStatus::Kind::checking);
        ControllerAccess::setRegistrationStatus(*controller, RegistrationStatus::notRegistered());
        auto screen = settings(controller);
        QVERIFY(screen);
        QQuickItem* field = find(screen, "registrationKeyField");
        QQuickItem* button = find(screen, "registerButton");
        QVERIFY(field && button);

        QVERIFY(!button->isEnabled());
        // Hidden while typed; the toggle shows it (and hides it again). TextInput's echo
        // modes: Normal 0, Password 2.
        QCOMPARE(field->property("echoMode").toInt(), 2);
        press(find(screen, "revealKeyButton"));
        QCOMPARE(field->property("echoMode").toInt(), 0);
        press(find(screen, "revealKeyButton"));
        QCOMPARE(field->property("echoMode").toInt(), 2);
        QMetaObject::invokeMethod(field, "accepted"); // Return in the empty field
        QCOMPARE(controller->registrationStatus(), RegistrationStatus::notRegistered());

        field->setProperty("text", QStringLiteral("key-1"));
        QVERIFY(button->isEnabled());
        QMetaObject::invokeMethod(field, "accepted");
        QCOMPARE(controller->registrationStatus(), RegistrationStatus::registering());
        QCOMPARE(field->property("text").toString(), QString()); // cleared after the call

        // Now registering: neither Return nor the button starts another.
        field->setProperty("text", QStringLiteral("key-2"));
        QVERIFY(!button->isEnabled());
        QMetaObject::invokeMethod(field, "accepted");
        press(button);
        QTRY_COMPARE(runsOf(controller, QStringLiteral("--register=")), 1);
        QTest::qWait(50);
        QCOMPARE(runsOf(controller, QStringLiteral("--register=")), 1);
        QVERIFY(controller.worker()
                    ->starts(QStringLiteral("service"))
                    .contains(QStringList{QStringLiteral("--register=key-1")}));
    }

    void idleSettings() {
        ScreenController controller;
        controller->setIdleRestrictionEnabled(true);
        controller->setIdleThresholdMinutes(0.5);
        auto screen = settings(controller);
        QVERIFY(screen);
        QQuickItem* stepper = find(screen, "idleThresholdStepper");
        QVERIFY(stepper && stepper->isVisible());
        QCOMPARE(stepper->property("valueText").toString(), QStringLiteral("0 MIN"));
        QMetaObject::invokeMethod(stepper, "decrement");
        QCOMPARE(controller->idleThresholdMinutes(), 1.0);

        controller->setIdleRestrictionEnabled(false);
        QVERIFY(!stepper->isVisible());

        ScreenController noIdle({.idleDetection = false});
        noIdle->setIdleRestrictionEnabled(true);
        auto noIdleScreen = settings(noIdle);
        QVERIFY(!find(noIdleScreen, "idleThresholdStepper")->isVisible());
        QCOMPARE(find(noIdleScreen, "idleCaption")->property("text").toString(),
                 QStringLiteral("Idle detection is not available on this desktop; use Start/Stop "
                                "on the main screen."));
    }

    void checkboxKeepsFollowingTheControllerAfterAPress() {
        ScreenController controller;
        controller->setIdleRestrictionEnabled(true);
        auto screen = settings(controller);
        QVERIFY(screen);
        m_window.resize(640, 1200);
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
        QQuickItem* box = find(screen, "idleCheckbox");
        QVERIFY(box && box->property("checked").toBool());
        const QPointF centre = box->mapToScene(QPointF(9, box->height() / 2));
        QTest::mouseClick(&m_window, Qt::LeftButton, {}, centre.toPoint());
        QCOMPARE(controller->idleRestrictionEnabled(), false);
        QVERIFY(!box->property("checked").toBool());
        controller->setIdleRestrictionEnabled(true); // changed elsewhere
        QVERIFY(box->property("checked").toBool());
        m_window.hide();
    }

    // The worker-ID reset asks first; Esc on its buttons cancels as CANCEL does.
    void resetConfirmationCancelsOnEscape() {
        ScreenController controller;
        ControllerAccess::setRegistrationStatus(
            *controller, RegistrationStatus::failed("Registration failed: owner mismatch"));
        auto screen = settings(controller);
        m_window.resize(640, 1200);
        m_window.show();
        m_window.requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&m_window));
        press(find(screen, "resetButton"));
        QVERIFY(screen->property("confirmingReset").toBool());
        find(screen, "confirmResetButton")->forceActiveFocus(Qt::TabFocusReason);
        QTest::keyClick(&m_window, Qt::Key_Escape);
        QVERIFY(!screen->property("confirmingReset").toBool());
        QVERIFY(!controller->isResettingWorkerId());
        m_window.hide();
    }

    // A screen reader's press applies the setting as a click does; on a disabled box
    // it does nothing.
    void checkboxPressActionAppliesTheSetting() {
        ScreenController controller;
        controller->setIdleRestrictionEnabled(true);
        auto screen = settings(controller);
        QVERIFY(screen);
        QQuickItem* box = find(screen, "idleCheckbox");
        QVERIFY(box && box->property("checked").toBool());
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(box);
        QVERIFY(iface && iface->actionInterface());
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(controller->idleRestrictionEnabled(), false);
        QVERIFY(!box->property("checked").toBool());
        iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(controller->idleRestrictionEnabled(), true);
        QVERIFY(box->property("checked").toBool());
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());

        box->setEnabled(false);
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(controller->idleRestrictionEnabled(), false);
        QVERIFY(!box->property("checked").toBool());
    }

    // The governor's reading and the sampler's histories reach the screens as the
    // types they publish; showing the metrics starts the sampler.
    void governorAndSamplerFiguresReachTheScreens() {
        ScreenController controller;
        ControllerAccess::setMemory(*controller->memoryGovernor(),
                                    {16ULL << 30, 8ULL << 30, 1ULL << 30, 6ULL << 30}, 16ULL << 30);
        auto screen = settings(controller);
        QVERIFY(screen);
        QCOMPARE(find(screen, "memoryReading")->property("text").toString(),
                 QStringLiteral("Now: VXR may use 6.0 GB · VXR using 1.0 GB · other apps 8.0 GB "
                                "of 16.0 GB"));

        vxr::MetricsSampler* sampler = controller->metricsSampler();
        vxr::MetricHistory ram;
        ram.add(0.25);
        ram.add(2.0);
        ControllerAccess::setHistories(*sampler, {}, {}, ram, 0, 0);
        QVERIFY(!sampler->isStarted());
        auto metrics = create("MetricsView", QStringLiteral("sampler"), sampler);
        QVERIFY(metrics);
        QVERIFY(sampler->isStarted());
        QQuickItem* row = find(metrics, "ramRow");
        QVERIFY(row);
        QCOMPARE(row->property("cap").toDouble(), 2.5);
        QCOMPARE(row->property("stats").value<vxr::MetricRowTexts>().peak,
                 QStringLiteral("2.00 GB"));
    }

    void jobsEmptyStateAndTwoPressClear() {
        ScreenController controller;
        vxr::JobHistory& history = *controller->jobHistory();
        auto screen = create("JobsView", QStringLiteral("history"), &history);
        QVERIFY(screen);
        QTRY_VERIFY(find(screen, "emptyText"));
        QQuickItem* clear = find(screen, "clearAllButton");
        QVERIFY(clear);
        QVERIFY(find(screen, "emptyText")->isVisible());
        QVERIFY(!clear->isVisible());
        QVERIFY(!find(screen, "workerProcessCard")->isVisible());

        history.ingest(screen_scenes::taskInfoDocument(1.0));
        QCOMPARE(history.jobs().size(), 2);
        QVERIFY(clear->isVisible());
        QVERIFY(!find(screen, "emptyText")->isVisible());
        QVERIFY(find(screen, "workerProcessCard")->isVisible());
        QCOMPARE(clear->property("text").toString(), QStringLiteral("Clear all"));

        press(clear);
        QCOMPARE(history.jobs().size(), 2);
        QCOMPARE(clear->property("text").toString(), QStringLiteral("Really clear all?"));
        press(clear);
        QCOMPARE(history.jobs().size(), 0);
        QCOMPARE(clear->property("text").toString(), QStringLiteral("Clear all"));
        QVERIFY(!clear->isVisible());
    }

    // The breakdown bar keeps its rounded corners, and the card's tooltip is as dark
    // as the screen behind it.
    void jobCardBarIsRoundedAndItsTooltipDark() {
        ScreenController controller;
        vxr::JobHistory& history = *controller->jobHistory();
        history.ingest(screen_scenes::taskInfoDocument(1.0));
        auto screen = create("JobsView", QStringLiteral("history"), &history);
        QVERIFY(screen);
        QTRY_VERIFY(find(screen, "breakdownBar"));
        auto* bar = qobject_cast<vxr::SegmentedBar*>(find(screen, "breakdownBar"));
        QVERIFY(bar && bar->width() > 20);
        QVERIFY(!bar->widths().isEmpty());
        QCOMPARE(bar->colors().size(), bar->widths().size());
        QCOMPARE(bar->colors().first(), vxr::VXRTheme::accentLight()); // the heap
        QImage image(bar->size().toSize(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        bar->paint(&painter);
        painter.end();
        // The corner pixels are cut round (antialiased; a square clip leaves them opaque).
        QVERIFY(qAlpha(image.pixel(0, 0)) < 128);
        QVERIFY(qAlpha(image.pixel(image.width() - 1, image.height() - 1)) < 128);
        QVERIFY(qAlpha(image.pixel(3, image.height() / 2)) > 0);

        QObject* tip = nullptr;
        QList<QQuickItem*> pending{screen.get()};
        while (!tip && !pending.isEmpty()) {
            QQuickItem* item = pending.takeFirst();
            pending += item->childItems();
            tip = item->findChild<QObject*>(QStringLiteral("removeJobToolTip"),
                                            Qt::FindDirectChildrenOnly);
        }
        QVERIFY(tip);
        QCOMPARE(tip->property("text").toString(), QStringLiteral("Remove this job from the list"));
        auto* background = tip->property("background").value<QQuickItem*>();
        QVERIFY(background);
        QCOMPARE(background->property("color").value<QColor>(), vxr::VXRTheme::bgDeep());
    }
};

QTEST_MAIN(TestScreens)
#include "test_screens.moc"
