pragma ComponentBehavior: Bound
import QtQuick
import VXR.App

// The network's throttle notice, shown while there is one.
Rectangle {
    id: root
    property string notice
    // The banner grows with its text up to this width, then wraps.
    property real maximumWidth: 400

    readonly property real textRoom: Math.max(40, maximumWidth - 40 - icon.width - 8)

    implicitWidth: 40 + icon.width + 8 + Math.min(measure.advanceWidth + 1, textRoom)
    implicitHeight: Math.max(icon.height, label.implicitHeight) + 16
    radius: 8
    color: Qt.rgba(VXRTheme.value.r, VXRTheme.value.g, VXRTheme.value.b, 0.06)
    border.width: 1
    border.color: Qt.rgba(VXRTheme.value.r, VXRTheme.value.g, VXRTheme.value.b, 0.45)
    Accessible.role: Accessible.StaticText
    Accessible.name: notice

    TextMetrics {
        id: measure
        font: label.font
        text: root.notice
    }

    IconShape {
        id: icon
        x: 20
        anchors.verticalCenter: parent.verticalCenter
        path: Icons.throttle
        color: VXRTheme.value
        size: 16
    }
    Text {
        id: label
        anchors.left: icon.right
        anchors.leftMargin: 8
        anchors.right: parent.right
        anchors.rightMargin: 20
        anchors.verticalCenter: parent.verticalCenter
        text: root.notice
        color: VXRTheme.value
        font.pixelSize: 12
        wrapMode: Text.Wrap
    }
}
