pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Shapes

// One line icon from Icons, scaled to size and tinted.
Item {
    id: root
    property string path
    property color color
    property real size: 18
    property real lineWidth: 1.7
    implicitWidth: size
    implicitHeight: size

    Shape {
        width: 24
        height: 24
        scale: root.size / 24
        transformOrigin: Item.TopLeft
        layer.enabled: true
        layer.samples: 4
        layer.smooth: true
        ShapePath {
            strokeColor: root.color
            strokeWidth: root.lineWidth
            fillColor: "transparent"
            capStyle: ShapePath.RoundCap
            joinStyle: ShapePath.RoundJoin
            PathSvg { path: root.path }
        }
    }
}
