#pragma once

#include <QColor>
#include <QList>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// A row of coloured segments with a gap between them, clipped to a rounded rectangle:
// an item's own clip would cut the corners square.
class SegmentedBar : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QList<qreal> widths READ widths WRITE setWidths NOTIFY appearanceChanged)
    Q_PROPERTY(QList<QColor> colors READ colors WRITE setColors NOTIFY appearanceChanged)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY appearanceChanged)
    Q_PROPERTY(qreal spacing READ spacing WRITE setSpacing NOTIFY appearanceChanged)

public:
    explicit SegmentedBar(QQuickItem* parent = nullptr);

    [[nodiscard]] const QList<qreal>& widths() const { return m_widths; }
    void setWidths(const QList<qreal>& widths);
    [[nodiscard]] const QList<QColor>& colors() const { return m_colors; }
    void setColors(const QList<QColor>& colors);
    [[nodiscard]] qreal radius() const { return m_radius; }
    void setRadius(qreal radius);
    [[nodiscard]] qreal spacing() const { return m_spacing; }
    void setSpacing(qreal spacing);

    // Segment i is widths[i] wide (never below 1) in colors[i]; a missing colour is
    // transparent.
    void paint(QPainter* painter) override;

signals:
    void appearanceChanged();

private:
    template <typename T> void assign(T& member, const T& value);

    QList<qreal> m_widths;
    QList<QColor> m_colors;
    qreal m_radius = 0;
    qreal m_spacing = 0;
};

} // namespace vxr
