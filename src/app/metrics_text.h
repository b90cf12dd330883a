#pragma once

#include "metrics/metric_history.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// A metric row's Now/Avg/Peak figures as text.
struct MetricRowTexts {
    Q_GADGET
    QML_VALUE_TYPE(metricRowTexts)
    Q_PROPERTY(QString now MEMBER now)
    Q_PROPERTY(QString avg MEMBER avg)
    Q_PROPERTY(QString peak MEMBER peak)

public:
    QString now;
    QString avg;
    QString peak;
};

// The metrics screen's figures for QML: a row's Now/Avg/Peak texts and the RAM cap.
class MetricsText : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    enum Format { Percent, Gigabytes };
    Q_ENUM(Format)

    using QObject::QObject;

    // Each figure rendered with the row's format.
    Q_INVOKABLE static vxr::MetricRowTexts stats(const vxr::MetricHistory& history, int format);
    Q_INVOKABLE static double ramCap(const vxr::MetricHistory& history);
    Q_INVOKABLE static QString formatBytes(double bytes);
};

} // namespace vxr
