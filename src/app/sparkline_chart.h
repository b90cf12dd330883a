#pragma once

#include <QList>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// The last 15 minutes of one metric: grid, filled area, line and a dot on the newest
// sample, with "-15m" and "now" at the bottom corners.
class SparklineChart : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    // A history's samples, oldest first.
    Q_PROPERTY(QList<double> samples READ samples WRITE setSamples NOTIFY samplesChanged)
    Q_PROPERTY(double cap READ cap WRITE setCap NOTIFY capChanged)

public:
    explicit SparklineChart(QQuickItem* parent = nullptr);

    [[nodiscard]] const QList<double>& samples() const { return m_samples; }
    void setSamples(const QList<double>& samples);
    [[nodiscard]] double cap() const { return m_cap; }
    void setCap(double cap);

    void paint(QPainter* painter) override;

signals:
    void samplesChanged();
    void capChanged();

private:
    QList<double> m_samples;
    double m_cap = 100;
};

} // namespace vxr
