// The settings, metrics and jobs screens against a scripted controller and a real job
// history: what they call on the controller and what they show.

#include "screenshots/screen_scenes.h"

#include "app/segmented_bar.h"
#include "app/vxr_theme.h"
#include "metrics/metric_history.h"
#include "worker_interface/registration.h"

#include <QAccessible>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(VXR_AppPlugin)

// The real value types the controller and the sampler publish, where the scripted
// stand-ins use plain maps.
class GadgetController : public ScriptedScreensController {
    Q_OBJECT
    Q_PROPERTY(vxr::RegistrationStatus registrationStatus MEMBER m_status NOTIFY statusChanged)
public:
    vxr::RegistrationStatus m_status = vxr::RegistrationStatus::registered("0x9c2d41e07b55a3f8");
signals:
    void statusChanged();
};

class GadgetSampler : public ScriptedSampler {
    Q_OBJECT
    Q_PROPERTY(vxr::MetricHistory ram MEMBER m_history NOTIFY historyChanged)
public:
    vxr::MetricHistory m_history;
signals:
    void historyChanged();
};

namespace {

QQuickItem* findIn(QQuickItem* item, const QString& name) {
    if (item->objectName() == name)
        return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* found = findIn(child, name))
            return found;
    return nullptr;
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
    // Creates the screen with the controller set before Component.onCompleted runs.
    std::unique_ptr<QQuickItem> create(const char* type, QObject* controller) {
        QQmlComponent component(&m_engine);
        component.setData(QByteArray("import QtQuick\nimport VXR.App\n") + type +
                              " { width: 640; height: 1200 }",
                          QUrl());
        auto* item = qobject_cast<QQuickItem*>(component.beginCreate(m_engine.rootContext()));
        if (!item) {
            qWarning() << component.errors();
            return nullptr;
        }
        item->setProperty("controller", QVariant::fromValue(controller));
        component.completeCreate();
        item->setParentItem(m_window.contentItem());
        return std::unique_ptr<QQuickItem>(item);
    }

    static QQuickItem* find(const std::unique_ptr<QQuickItem>& screen, const char* name) {
        return screen ? findIn(screen.get(), QLatin1String(name)) : nullptr;
    }

    static void press(QQuickItem* button) { QMetaObject::invokeMethod(button, "clicked"); }

private slots:
    void settingsChecksRegistrationOnceWhenUnknown() {
        ScriptedScreensController controller;
        auto screen = create("SettingsView", &controller);
        QVERIFY(screen);
        QCOMPARE(controller.checkCount, 1);
        QCOMPARE(find(screen, "registrationStatusRow")->property("row").toMap().value("text"),
                 QVariant(QStringLiteral("Checking…")));
        screen.reset();

        // Any status but unknown: no check.
        controller.setProperty("registrationStatus", ScriptedScreensController::status(4));
        screen = create("SettingsView", &controller);
        QCOMPARE(controller.checkCount, 1);
    }

    void registerOnlyWithKeyAndNotWhileRegistering() {
        ScriptedScreensController controller;
        controller.setProperty("registrationStatus", ScriptedScreensController::status(4));
        auto screen = create("SettingsView", &controller);
        QVERIFY(screen);
        QQuickItem* field = find(screen, "registrationKeyField");
        QQuickItem* button = find(screen, "registerButton");
        QVERIFY(field && button);

        QVERIFY(!button->isEnabled());
        QMetaObject::invokeMethod(field, "accepted"); // Return in the empty field
        QVERIFY(controller.registeredKeys.isEmpty());

        field->setProperty("text", QStringLiteral("key-1"));
        QVERIFY(button->isEnabled());
        QMetaObject::invokeMethod(field, "accepted");
        QCOMPARE(controller.registeredKeys, QStringList{QStringLiteral("key-1")});
        QCOMPARE(field->property("text").toString(), QString()); // cleared after the call

        // Now registering: neither Return nor the button starts another.
        field->setProperty("text", QStringLiteral("key-2"));
        QVERIFY(!button->isEnabled());
        QMetaObject::invokeMethod(field, "accepted");
        press(button);
        QCOMPARE(controller.registeredKeys.size(), 1);
    }

    void idleSettings() {
        ScriptedScreensController controller;
        controller.setProperty("registrationStatus", ScriptedScreensController::status(4));
        controller.setProperty("idleThresholdMinutes", 0.5);
        auto screen = create("SettingsView", &controller);
        QVERIFY(screen);
        QQuickItem* stepper = find(screen, "idleThresholdStepper");
        QVERIFY(stepper && stepper->isVisible());
        QCOMPARE(stepper->property("valueText").toString(), QStringLiteral("0 MIN"));
        QMetaObject::invokeMethod(stepper, "decrement");
        QCOMPARE(controller.property("idleThresholdMinutes").toDouble(), 1.0);

        controller.setProperty("idleRestrictionEnabled", false);
        QVERIFY(!stepper->isVisible());

        controller.setProperty("idleDetectionAvailable", false);
        controller.setProperty("idleRestrictionEnabled", true);
        QVERIFY(!stepper->isVisible());
        QCOMPARE(find(screen, "idleCaption")->property("text").toString(),
                 QStringLiteral("Idle detection is not available on this desktop; use Start/Stop "
                                "on the main screen."));
    }

    void checkboxKeepsFollowingTheControllerAfterAPress() {
        ScriptedScreensController controller;
        controller.setProperty("registrationStatus", ScriptedScreensController::status(4));
        auto screen = create("SettingsView", &controller);
        QVERIFY(screen);
        m_window.resize(640, 1200);
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
        QQuickItem* box = find(screen, "idleCheckbox");
        QVERIFY(box && box->property("checked").toBool());
        const QPointF centre = box->mapToScene(QPointF(9, box->height() / 2));
        QTest::mouseClick(&m_window, Qt::LeftButton, {}, centre.toPoint());
        QCOMPARE(controller.property("idleRestrictionEnabled").toBool(), false);
        QVERIFY(!box->property("checked").toBool());
        controller.setProperty("idleRestrictionEnabled", true); // changed elsewhere
        QVERIFY(box->property("checked").toBool());
        m_window.hide();
    }

    // A screen reader's press applies the setting as a click does; on a disabled box
    // it does nothing.
    void checkboxPressActionAppliesTheSetting() {
        ScriptedScreensController controller;
        controller.setProperty("registrationStatus", ScriptedScreensController::status(4));
        auto screen = create("SettingsView", &controller);
        QVERIFY(screen);
        QQuickItem* box = find(screen, "idleCheckbox");
        QVERIFY(box && box->property("checked").toBool());
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(box);
        QVERIFY(iface && iface->actionInterface());
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(controller.property("idleRestrictionEnabled").toBool(), false);
        QVERIFY(!box->property("checked").toBool());
        iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(controller.property("idleRestrictionEnabled").toBool(), true);
        QVERIFY(box->property("checked").toBool());
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());

        box->setEnabled(false);
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(controller.property("idleRestrictionEnabled").toBool(), false);
        QVERIFY(!box->property("checked").toBool());
    }

    void realValueTypesReachTheScreens() {
        GadgetController controller;
        GadgetSampler sampler;
        sampler.m_history.add(0.25);
        sampler.m_history.add(2.0);
        controller.m_metricsSampler = &sampler;
        auto settings = create("SettingsView", &controller);
        QVERIFY(settings);
        QCOMPARE(controller.checkCount, 0);
        QCOMPARE(find(settings, "registrationStatusRow")->property("row").toMap().value("text"),
                 QVariant(QStringLiteral("Registered to 0x9c2d41e0…")));

        auto metrics = create("MetricsView", &controller);
        QVERIFY(metrics);
        QQuickItem* ram = find(metrics, "ramRow");
        QVERIFY(ram);
        QCOMPARE(ram->property("cap").toDouble(), 2.5);
        QCOMPARE(ram->property("stats").toMap().value("peak"), QVariant(QStringLiteral("2.00 GB")));
    }

    void metricsScreenStartsTheSampler() {
        ScriptedScreensController controller;
        ScriptedSampler sampler;
        controller.m_metricsSampler = &sampler;
        auto screen = create("MetricsView", &controller);
        QVERIFY(screen);
        QCOMPARE(sampler.startCount, 1);
    }

    void jobsEmptyStateAndTwoPressClear() {
        QTemporaryDir dir;
        vxr::JobHistory history(dir.path(), vxr::Timing{});
        ScriptedScreensController controller;
        controller.m_jobHistory = &history;
        auto screen = create("JobsView", &controller);
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
        QTemporaryDir dir;
        vxr::JobHistory history(dir.path(), vxr::Timing{});
        ScriptedScreensController controller;
        controller.m_jobHistory = &history;
        history.ingest(screen_scenes::taskInfoDocument(1.0));
        auto screen = create("JobsView", &controller);
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
