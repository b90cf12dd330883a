#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// The jobs screen's few computations left for QML; the cards' texts come ready from
// the job list model.
class JobsText : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // Widths of the breakdown bar's segments for a card's parts (JobCardPart).
    Q_INVOKABLE static QVariantList barWidths(const QVariantList& parts, double width);
    // The theme's colours of the parts, in the parts' order.
    Q_INVOKABLE static QList<QColor> barColors(const QVariantList& parts);
    Q_INVOKABLE static QString clearAllLabel(bool confirming);
    Q_INVOKABLE static bool clearAllPressClears(bool confirming);
};

} // namespace vxr
