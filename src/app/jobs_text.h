#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// The jobs screen's texts for QML, from the job list model's roles (an absent value is
// undefined there, never 0).
class JobsText : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    // Colours of the breakdown parts, in the theme.
    enum PartColor { AccentLight, Accent, Value, TextDim, Spike };
    Q_ENUM(PartColor)

    using QObject::QObject;

    // One job card from a map of the model's roles (jobId, name, computeGroup,
    // firstSeen, lastActive, slices, cpuPerSlice, gpuPerSlice, inPerSlice, outPerSlice,
    // ram, gpuMem, estimate, ramBreakdown, budget, reuse): {title, timeRange, subtitle,
    // rows: [{label, measured, estimate, memory}], cells: the rows' cells in reading
    // order [{text, kind (0 label, 1 measured, 2 estimate), memory, spoken}], showBreakdown, parts:
    // [{name, value, bytes, color}], reuseLine, budgetLine} (the two lines empty when not shown).
    Q_INVOKABLE static QVariantMap card(const QVariantMap& roles);
    // Widths of the breakdown bar's rectangles for the parts of card().
    Q_INVOKABLE static QVariantList barWidths(const QVariantList& parts, double width);
    // [{label, value}] for the worker process card.
    Q_INVOKABLE static QVariantList workerProcessRows(const QVariantMap& process);
    Q_INVOKABLE static QString clearAllLabel(bool confirming);
    Q_INVOKABLE static bool clearAllPressClears(bool confirming);
};

} // namespace vxr
