#include "app/wrapping_stack.h"

#include "jobs/jobs_screen_logic.h"

#include <vector>

namespace vxr {

WrappingStack::WrappingStack(QQuickItem* parent)
    : QQuickItem(parent) {}

void WrappingStack::setSpacing(double spacing) {
    if (qFuzzyCompare(m_spacing, spacing))
        return;
    m_spacing = spacing;
    emit spacingChanged();
    polish();
}

void WrappingStack::setLineSpacing(double lineSpacing) {
    if (qFuzzyCompare(m_lineSpacing, lineSpacing))
        return;
    m_lineSpacing = lineSpacing;
    emit lineSpacingChanged();
    polish();
}

void WrappingStack::watch(QQuickItem* child) {
    connect(child, &QQuickItem::implicitWidthChanged, this, &QQuickItem::polish);
    connect(child, &QQuickItem::implicitHeightChanged, this, &QQuickItem::polish);
    connect(child, &QQuickItem::visibleChanged, this, &QQuickItem::polish);
}

void WrappingStack::itemChange(ItemChange change, const ItemChangeData& data) {
    if (change == ItemChildAddedChange) {
        watch(data.item);
        polish();
    } else if (change == ItemChildRemovedChange) {
        disconnect(data.item, nullptr, this, nullptr);
        polish();
    }
    QQuickItem::itemChange(change, data);
}

void WrappingStack::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    if (!qFuzzyCompare(newGeometry.width(), oldGeometry.width()))
        polish();
}

void WrappingStack::updatePolish() {
    QList<QQuickItem*> children;
    std::vector<QSizeF> sizes;
    for (QQuickItem* child : childItems()) {
        if (!child->isVisible())
            continue;
        children.append(child);
        sizes.emplace_back(child->implicitWidth(), child->implicitHeight());
    }
    // Without a width of its own (nothing bound it yet) everything goes on one line.
    const std::optional<double> available =
        widthValid() ? std::optional<double>(width()) : std::nullopt;
    const jobs_screen::WrappingLayout layout =
        jobs_screen::wrappingStackLayout(sizes, available, m_spacing, m_lineSpacing);
    for (qsizetype i = 0; i < children.size(); ++i) {
        QQuickItem* child = children[i];
        child->setPosition(layout.positions[i]);
        child->setSize(QSizeF(sizes[std::size_t(i)]));
    }
    setImplicitSize(layout.size.width(), layout.size.height());
}

} // namespace vxr
