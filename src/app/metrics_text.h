#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// The metrics screen's figures for QML: a row's Now/Avg/Peak texts and the RAM cap.
class MetricsText : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    enum Format { Percent, Gigabytes };
    Q_ENUM(Format)

    using QObject::QObject;

    // Samples are a history's list of numbers, as QML holds it. {now, avg, peak}, each
    // rendered with the row's format.
    Q_INVOKABLE static QVariantMap stats(const QVariant& samples, int format);
    Q_INVOKABLE static double ramCap(const QVariant& samples);
    [[nodiscard]] static QList<double> numbers(const QVariant& samples);
    Q_INVOKABLE static QString formatBytes(double bytes);
};

} // namespace vxr
