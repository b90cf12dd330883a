#include "app/segmented_bar.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace vxr {

SegmentedBar::SegmentedBar(QQuickItem* parent)
    : QQuickPaintedItem(parent) {
    setAntialiasing(true);
}

template <typename T> void SegmentedBar::assign(T& member, const T& value) {
    if (member == value)
        return;
    member = value;
    emit appearanceChanged();
    update();
}

void SegmentedBar::setWidths(const QList<qreal>& widths) {
    assign(m_widths, widths);
}

void SegmentedBar::setColors(const QList<QColor>& colors) {
    assign(m_colors, colors);
}

void SegmentedBar::setRadius(qreal radius) {
    assign(m_radius, radius);
}

void SegmentedBar::setSpacing(qreal spacing) {
    assign(m_spacing, spacing);
}

void SegmentedBar::paint(QPainter* painter) {
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, width(), height()), m_radius, m_radius);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setClipPath(outline);
    qreal x = 0;
    for (qsizetype i = 0; i < m_widths.size(); ++i) {
        const qreal segment = std::max<qreal>(m_widths[i], 1);
        painter->fillRect(QRectF(x, 0, segment, height()), m_colors.value(i, Qt::transparent));
        x += segment + m_spacing;
    }
}

} // namespace vxr
