#include "app/sparkline_chart.h"

#include "app/vxr_theme.h"
#include "metrics/metrics_screen_logic.h"

#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vxr {

namespace {

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(float(alpha));
    return color;
}

} // namespace

SparklineChart::SparklineChart(QQuickItem* parent)
    : QQuickPaintedItem(parent) {
    setAntialiasing(true);
    setImplicitHeight(64);
}

void SparklineChart::setSamples(const QList<double>& samples) {
    if (m_samples == samples)
        return;
    m_samples = samples;
    emit samplesChanged();
    update();
}

void SparklineChart::setCap(double cap) {
    if (qFuzzyCompare(m_cap, cap))
        return;
    m_cap = cap;
    emit capChanged();
    update();
}

void SparklineChart::paint(QPainter* painter) {
    const double w = width();
    const double h = height();
    if (w <= 0 || h <= 0)
        return;
    painter->setRenderHint(QPainter::Antialiasing);
    const QColor accent = VXRTheme::accent();

    QPainterPath frame;
    frame.addRoundedRect(QRectF(0, 0, w, h), 4, 4);
    painter->fillPath(frame, withAlpha(accent, 0.03));
    painter->save();
    painter->setClipPath(frame);

    const metrics_screen::SparklineGeometry geometry =
        metrics_screen::sparklineGeometry(m_samples, m_cap, QSizeF(w, h));
    painter->setPen(QPen(withAlpha(accent, 0.10), 1));
    for (double y : geometry.gridLines)
        painter->drawLine(QPointF(0, y), QPointF(w, y));

    if (!geometry.line.isEmpty()) {
        QPainterPath line(geometry.line.front());
        for (qsizetype i = 1; i < geometry.line.size(); ++i)
            line.lineTo(geometry.line[i]);
        QPainterPath area = line;
        area.lineTo(w, h);
        area.lineTo(0, h);
        area.closeSubpath();
        QLinearGradient fill(0, 0, 0, h);
        fill.setColorAt(0, withAlpha(accent, 0.32));
        fill.setColorAt(1, withAlpha(accent, 0));
        painter->fillPath(area, fill);

        painter->setPen(
            QPen(VXRTheme::accentLight(), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(line);

        painter->setPen(Qt::NoPen);
        painter->setBrush(VXRTheme::value());
        painter->drawEllipse(geometry.newestDot);
    }

    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(8); // 7.5 points, rounded to whole pixels
    painter->setFont(font);
    painter->setPen(withAlpha(VXRTheme::textDim(), 0.7));
    const QRectF labels(4, 4, w - 8, h - 8);
    painter->drawText(labels, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("-15m"));
    painter->drawText(labels, Qt::AlignRight | Qt::AlignBottom, QStringLiteral("now"));
    painter->restore();

    // The outline is drawn inside the edge.
    painter->setPen(QPen(withAlpha(accent, 0.14), 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 3.5, 3.5);
}

} // namespace vxr
