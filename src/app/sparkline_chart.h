#pragma once

#include <QList>
#include <QQuickPaintedItem>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// The last 15 minutes of one metric: grid, filled area, line and a dot on the newest
// sample, with "-15m" and "now" at the bottom corners.
class SparklineChart : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    // A history's samples as QML holds them: a list of numbers, oldest first.
    Q_PROPERTY(QVariant samples READ samplesVariant WRITE setSamplesVariant NOTIFY samplesChanged)
    Q_PROPERTY(double cap READ cap WRITE setCap NOTIFY capChanged)

public:
    explicit SparklineChart(QQuickItem* parent = nullptr);

    [[nodiscard]] const QList<double>& samples() const { return m_samples; }
    void setSamples(const QList<double>& samples);
    [[nodiscard]] QVariant samplesVariant() const { return QVariant::fromValue(m_samples); }
    void setSamplesVariant(const QVariant& samples);
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
