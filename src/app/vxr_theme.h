#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace vxr {

// The six fixed colours every screen (and the HUD page's style sheet) uses.
class VXRTheme : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QColor bgDeep READ bgDeep CONSTANT)
    Q_PROPERTY(QColor accent READ accent CONSTANT)
    Q_PROPERTY(QColor accentLight READ accentLight CONSTANT)
    Q_PROPERTY(QColor value READ value CONSTANT)
    Q_PROPERTY(QColor text READ text CONSTANT)
    Q_PROPERTY(QColor textDim READ textDim CONSTANT)
    Q_PROPERTY(QColor gridLine READ gridLine CONSTANT)

public:
    using QObject::QObject;

    static constexpr QRgb bgDeepRgb = 0xff05130d;
    static constexpr QRgb accentRgb = 0xff00a473;
    static constexpr QRgb accentLightRgb = 0xff6fc495;
    static constexpr QRgb valueRgb = 0xffffde17;
    static constexpr QRgb textRgb = 0xffd6efe2;
    static constexpr QRgb textDimRgb = 0xff5d8b76;

    [[nodiscard]] static QColor bgDeep() { return QColor::fromRgb(bgDeepRgb); }
    [[nodiscard]] static QColor accent() { return QColor::fromRgb(accentRgb); }
    [[nodiscard]] static QColor accentLight() { return QColor::fromRgb(accentLightRgb); }
    [[nodiscard]] static QColor value() { return QColor::fromRgb(valueRgb); }
    [[nodiscard]] static QColor text() { return QColor::fromRgb(textRgb); }
    [[nodiscard]] static QColor textDim() { return QColor::fromRgb(textDimRgb); }
    // accent at 8 % opacity
    [[nodiscard]] static QColor gridLine() {
        QColor c = accent();
        c.setAlphaF(0.08f);
        return c;
    }
};

} // namespace vxr
