#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// The settings screen's rules for QML, which only shows them. Registration statuses
// arrive as the gadget's kind and text.
class SettingsRules : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(int activeProcessorCount READ activeProcessorCount CONSTANT)
    Q_PROPERTY(QString resetConfirmationText READ resetConfirmationText CONSTANT)

public:
    enum Stepper { IdleThreshold, MemoryCap, Headroom, Sandboxes };
    Q_ENUM(Stepper)
    enum Icon { NoIcon, Spinner, Checkmark, Warning, Cross };
    Q_ENUM(Icon)
    enum Tone { Dim, AccentLight, Value };
    Q_ENUM(Tone)

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

    Q_INVOKABLE static bool canRegister(const QString& key, int kind);
    Q_INVOKABLE static bool checksOnAppearance(int kind);
    // {icon, tone, text, dim}
    Q_INVOKABLE static QVariantMap statusRow(int kind, const QString& text, bool applying);
    Q_INVOKABLE static bool needsReset(int kind, const QString& text);
    Q_INVOKABLE static bool showsResetRow(int kind, bool confirming, bool resetting);
    Q_INVOKABLE static QString resetCaption(int kind, const QString& text);
    Q_INVOKABLE static QString resetButtonLabel(bool resetting);
};

} // namespace vxr
