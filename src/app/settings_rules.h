#pragma once

#include "worker_interface/registration.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// The registration status row as the screen draws it: a spinner, or a line icon in
// its colour, beside the text.
struct StatusRowView {
    Q_GADGET
    QML_VALUE_TYPE(statusRowView)
    Q_PROPERTY(bool spinner MEMBER spinner)
    Q_PROPERTY(QString iconPath MEMBER iconPath)
    Q_PROPERTY(QColor iconColor MEMBER iconColor)
    Q_PROPERTY(QString text MEMBER text)
    Q_PROPERTY(bool dim MEMBER dim)

public:
    bool spinner = false;
    QString iconPath; // empty: no icon
    QColor iconColor;
    QString text;
    bool dim = true;
};

// The settings screen's rules for QML, which only shows them.
class SettingsRules : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(int activeProcessorCount READ activeProcessorCount CONSTANT)
    Q_PROPERTY(QString resetConfirmationText READ resetConfirmationText CONSTANT)

public:
    enum Stepper { IdleThreshold, MemoryCap, Headroom, Sandboxes };
    Q_ENUM(Stepper)

    using QObject::QObject;

    [[nodiscard]] static int activeProcessorCount();
    [[nodiscard]] static QString resetConfirmationText();

    // `processors` only matters for Sandboxes.
    Q_INVOKABLE static bool canStepDown(int stepper, double value, int processors = 0);
    Q_INVOKABLE static bool canStepUp(int stepper, double value, int processors = 0);
    Q_INVOKABLE static double steppedDown(int stepper, double value, int processors = 0);
    Q_INVOKABLE static double steppedUp(int stepper, double value, int processors = 0);

    Q_INVOKABLE static QString wholeNumberText(double value);
    Q_INVOKABLE static QString idleThresholdText(double minutes);
    Q_INVOKABLE static QString memoryCapText(double percent, double totalBytes);
    Q_INVOKABLE static QString headroomText(double gigabytes);
    Q_INVOKABLE static QString sandboxesCaption(int performanceCores);
    Q_INVOKABLE static QString idleCaption(bool detectionAvailable, bool restrictionEnabled);
    Q_INVOKABLE static bool showsIdleThreshold(bool detectionAvailable, bool restrictionEnabled);
    Q_INVOKABLE static QString idleStatusText(double seconds, const QString& sourceName);
    Q_INVOKABLE static QString batteryCaption(bool pausedOnBattery);

    Q_INVOKABLE static bool canRegister(const QString& key, const vxr::RegistrationStatus& status);
    Q_INVOKABLE static bool checksOnAppearance(const vxr::RegistrationStatus& status);
    Q_INVOKABLE static vxr::StatusRowView statusRow(const vxr::RegistrationStatus& status,
                                                    bool applying);
    Q_INVOKABLE static bool showsResetRow(const vxr::RegistrationStatus& status, bool confirming,
                                          bool resetting);
    Q_INVOKABLE static QString resetCaption(const vxr::RegistrationStatus& status);
    Q_INVOKABLE static QString resetButtonLabel(bool resetting);
};

} // namespace vxr
