#pragma once

#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// Places its children at their implicit sizes in lines, left to right, wrapping at
// its own width; a child wider than the width stays alone on its line. Its implicit
// size is what the children take.
class WrappingStack : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double spacing READ spacing WRITE setSpacing NOTIFY spacingChanged)
    Q_PROPERTY(double lineSpacing READ lineSpacing WRITE setLineSpacing NOTIFY lineSpacingChanged)

public:
    explicit WrappingStack(QQuickItem* parent = nullptr);

    [[nodiscard]] double spacing() const { return m_spacing; }
    void setSpacing(double spacing);
    [[nodiscard]] double lineSpacing() const { return m_lineSpacing; }
    void setLineSpacing(double lineSpacing);

signals:
    void spacingChanged();
    void lineSpacingChanged();

protected:
    void itemChange(ItemChange change, const ItemChangeData& data) override;
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    void updatePolish() override;

private:
    void watch(QQuickItem* child);

    double m_spacing = 0;
    double m_lineSpacing = 0;
};

} // namespace vxr
